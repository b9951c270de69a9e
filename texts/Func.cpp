// The text table: the window's language-dependent texts and the installation's status lines.
// The source is UTF-8; the literals are wide, so the Cyrillic texts show the same whatever the
// system code page.
#include "Func.h"

#include <iterator>

namespace {

// The manual in the fourteen pieces it is appended from; each piece ends its lines with a
// line feed, except the last line of the text.
constexpr const wchar_t* kManualRu[] = {
    L"1. Включить режим разработчика в ТВ:\n"
    L"  1.1. Для чего Войти в SmartHub и ввести с пульта 1 2 3 4 5.\n"
    L"  1.2. В открывшемся окне установить \"Developer Mode\"=\"ON\" \n",
    L"  1.3. В поле ввода \"Host PC IP\" ввести IP адрес ПК (из области \"IP Адрес ПК\" этой программы)\n",
    L"  1.4. Выбрать и нажать экранную кнопку ОК.\n"
    L"  1.5. Выключить телевизор из розетки.Несколько раз нажать на пульте кнопку Включения.\n"
    L"  1.6. Включить в розетку. Включить кнопкой включения на пульте\n",
    L"  1.7. Подождать 1-2 минуты пока телевизор полностью загрузится\n",
    L"2. Получить IP адрес ТВ\n",
    L"  2.1. На ТВ войти Меню->Сеть->Состояние сети\n",
    L"  2.2. По окончанию пропроверки сети выбрать \"Настройки IP\"\n",
    L"  2.3. Адрес указанный в строке \"IP-адрес\" вписать в поле \"IP Адрес телевизора\" данной "
    L"программы.\n",
    L"3. Приступить непосредственно к установке виджета\n",
    L"  3.1. Проверить правильность выбора IP адреса и Серии Вашего ТВ\n",
    L"  3.2. Кликнуть по кнопке \"Установить Виджет\" и дождаться окончания процесса установки\n",
    L"  3.3. В процессе установки на вопросы бредмауэра отвечать \"НЕ БЛОКИРОВАТЬ\"\n",
    L"  3.4. По окончании процесса установки проверить наличие виджета в разделе SmartHub \"Мои App\"\n",
    L"4. Если установка не увенчалась успехом: перезагрузите ПК и ТВ, отключите брендмауэр и антивирусы "
    L"блокирующие сетевое подключение, еще раз проверьте все параметры и попробуйте повторить установку.",
};

// Line for line the same manual in English.
constexpr const wchar_t* kManualEn[] = {
    L"1. Enable developer mode in TV:\n"
    L"  1.1. You need Run SmartHub and from the remote control enter 1 2 3 4 5.\n"
    L"  1.2. In the open window set \"Developer Mode\"=\"ON\" \n",
    L"  1.3. In the input field \"Host PC IP\" enter the IP address this PC (from area \"IP Address PC\" "
    L"this application)\n",
    L"  1.4. Select and click screen-button OK.\n"
    L"  1.5. Turn off the TV from the outlet. Press the power button on the remote several times.\n"
    L"  1.6. Turn on the TV in the outlet. Turn on with the power button on the remote.\n",
    L"  1.7. Wait 1-2 minutes until the TV is fully loaded\n",
    L"2. Get the IP address of the TV\n",
    L"  2.1. On TV enter Menu-> Network-> Network Status\n",
    L"  2.2. At the end of the network test, select \"IP Setting\"\n",
    L"  2.3. The address specified in the line \"IP-address\" enter in the field \"IP Address TV\" this "
    L"application.\n",
    L"3. Proceed directly to install the widget\n",
    L"  3.1. Check the correctness of the choice of IP address and your TV series\n",
    L"  3.2. Click on the button \"Install widget\" and wait for the installation process to finish.\n",
    L"  3.3. During the installation process, answer the questions of the Bredmauer - \"NO-BLOCKING\"\n",
    L"  3.4. At the end of the installation process, check the widget presence in the SmartHub section \"My "
    L"App\"\n",
    L"4. If the installation was not successful: restart your PC and TV, disabled the firewall and the "
    L"antivirus blocking the network connection, check all the parameters again and try the installation "
    L"again.",
};

static_assert(std::size(kManualRu) == 14 && std::size(kManualEn) == 14);

UnicodeString AppendPieces(const wchar_t* const (&pieces)[14]) {
    UnicodeString text;
    for (const wchar_t* piece : pieces) text += piece;
    return text;
}

}  // namespace

TextTable::TextTable() {
    InstallingText[0] = L"Выполняется установка виджета";
    InstallingText[1] = L"Widget installation in progress";
    LanguageCaption[0] = L"Язык";
    LanguageCaption[1] = L"Language";
    HostAddressCaption[0] = L"IP Адрес ПК";
    HostAddressCaption[1] = L"IP Address PC";
    HostAddressNote[0] =
        L"* Если отображается более одного IP адреса - используйте тот который расположен в одной подсети с "
        L"ТВ";
    HostAddressNote[1] =
        L"* If more than one IP address is displayed, use the one located on the same subnet as the TV.";
    RefreshCaption[0] = L"Обновить IP";
    RefreshCaption[1] = L"Refresh IP";
    SeriesCaption[0] = L"Серия ТВ";
    SeriesCaption[1] = L"Series TV";
    InstallButtonCaption[0] = L"Установить Виджет";
    InstallButtonCaption[1] = L"Widget Install";
    TvAddressCaption[0] = L"IP Адрес телевизора";
    TvAddressCaption[1] = L"IP Address TV";
    InstallGroupCaption[0] = L"Установка Виджета";
    InstallGroupCaption[1] = L"Widget Installation";
    PromptText[0] = L"Введите IP вашего ТВ, Выберите его серию, Нажмите \"Установить виджет\"";
    PromptText[1] = L"Enter the IP of your TV, Select its series, Click \"Install Widget\"";
    DoneText[0] = L"Процесс установки завершен. Проверьте наличие виджета в SmartHub Вашего ТВ.";
    DoneText[1] = L"Installation process is complete. Check presence of widget in SmartHub of Your TV.";
    FailedText[0] = L"При установке виджета произошли ошибки. Установка не выполнена.";
    FailedText[1] = L"There were errors while installing the widget. Installation failed.";
    BadAddressText[0] = L"IP Адрес ТВ не задан или имеет не верный формат.";
    BadAddressText[1] = L"IP Address TV is not set or has the wrong format.";
    ManualCaption[0] = L"Инструкция по установке";
    ManualCaption[1] = L"Installation manual";
    ManualText[0] = AppendPieces(kManualRu);
    ManualText[1] = AppendPieces(kManualEn);
}
