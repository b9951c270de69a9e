// The text table: every language-dependent text of the window and of the installation.
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
    FileInUseText[0] =
        L"Файл \"%1\" занят другой программой, перезаписать его не удалось. Подождите немного и повторите "
        L"установку.";
    FileInUseText[1] =
        L"The file \"%1\" is in use by another program and could not be overwritten. Wait a moment and try "
        L"the installation again.";
    BadAddressHintText[0] =
        L"Введите адрес ТВ цифрами через точки, например 192.168.1.20. Адрес показан на ТВ: Меню > Сеть > "
        L"Состояние сети > Настройки IP.";
    BadAddressHintText[1] =
        L"Type the TV's address as numbers with dots, for example 192.168.1.20. The TV shows it under Menu > "
        L"Network > Network Status > IP Settings.";
    WhyTurnedAwayText[0] =
        L"Телевизор отклонил подключение этого ПК.\nНа ТВ откройте Apps, наберите 1 2 3 4 5, включите "
        L"Developer mode, в поле \"Host PC IP\" введите %1, нажмите OK, затем выключите ТВ из розетки на "
        L"минуту и повторите установку.";
    WhyTurnedAwayText[1] =
        L"The TV turned this PC away.\nOn the TV open Apps, press 1 2 3 4 5, switch Developer mode on, type "
        L"%1 in \"Host PC IP\", press OK, then unplug the TV for a minute and try again.";
    WhyNoAnswerText[0] =
        L"Телевизор по адресу %1 не отвечает.\nВключите ТВ, проверьте, что он в той же сети, что и ПК, и "
        L"сверьте адрес: на ТВ Меню > Сеть > Состояние сети > Настройки IP.";
    WhyNoAnswerText[1] =
        L"The TV at %1 does not answer.\nTurn the TV on, make sure it is on the same network as this PC and "
        L"check the address: on the TV, Menu > Network > Network Status > IP Settings.";
    WhyWrongSeriesText[0] =
        L"Телевизор не дал записать виджет: похоже, выбрана не та серия ТВ.\nВыберите другую серию в поле "
        L"\"Серия ТВ\" и повторите установку.";
    WhyWrongSeriesText[1] =
        L"The TV did not let the widget be copied: the TV series chosen looks wrong.\nChoose the other "
        L"series under \"Series TV\" and try again.";
    WhyCertificateText[0] =
        L"Телевизор не принял подпись виджета.\nЭтот ТВ принимает только виджеты, подписанные для него: "
        L"попросите у автора виджета версию для вашего ТВ.";
    WhyCertificateText[1] =
        L"The TV did not accept the widget's signature.\nThis TV accepts only widgets signed for it: ask the "
        L"widget's author for a version for your TV.";
    WhyNotYetValidText[0] =
        L"Телевизор считает подпись виджета ещё не действующей: на ТВ, скорее всего, неверные дата и "
        L"время.\nУстановите на ТВ правильные дату и время и повторите установку.";
    WhyNotYetValidText[1] =
        L"The TV takes the widget's signature as not yet valid: its date and time are most likely "
        L"wrong.\nSet the right date and time on the TV and try again.";
    WhyOtherAuthorText[0] =
        L"На телевизоре уже есть виджет KAVORIN другого автора.\nУдалите его с ТВ (SmartHub, \"Мои App\") и "
        L"повторите установку.";
    WhyOtherAuthorText[1] =
        L"The TV already has a KAVORIN widget from another author.\nRemove it from the TV (SmartHub, \"My "
        L"App\") and try again.";
    WhyDamagedText[0] =
        L"Телевизор не смог прочитать пакет виджета.\nСкачайте эту программу установки заново и запустите её "
        L"ещё раз.";
    WhyDamagedText[1] =
        L"The TV could not read the widget package.\nDownload this installer again and run it once more.";
    WhyRefusedText[0] =
        L"Телевизор отказался устанавливать виджет.\nВыключите ТВ из розетки на минуту, включите его и "
        L"повторите установку.";
    WhyRefusedText[1] =
        L"The TV refused to install the widget.\nUnplug the TV for a minute, turn it back on and try again.";
    WhyNoSpaceText[0] =
        L"На телевизоре не хватает места для виджета.\nУдалите на ТВ ненужные приложения (SmartHub, \"Мои "
        L"App\") и повторите установку.";
    WhyNoSpaceText[1] =
        L"There is not enough space on the TV for the widget.\nRemove apps you do not need from the TV "
        L"(SmartHub, \"My App\") and try again.";
    WhyDroppedText[0] =
        L"Связь с телевизором прервалась во время установки.\nПроверьте, что ТВ включён и не уходит в режим "
        L"ожидания и что сеть работает, затем повторите установку.";
    WhyDroppedText[1] =
        L"The connection to the TV dropped during the installation.\nMake sure the TV stays on and the "
        L"network works, then try again.";
    WhyStoppedText[0] =
        L"Телевизор перестал отвечать на шаге: %1.\nПодождите минуту. Если ТВ так и не ответит, выключите "
        L"его "
        L"из розетки на минуту, включите и повторите установку.";
    WhyStoppedText[1] =
        L"The TV stopped answering at this step: %1.\nWait a minute. If the TV still does not answer, unplug "
        L"it from the socket for a minute, turn it back on and try again.";
    StageConnectingText[0] = L"подключение к ТВ";
    StageConnectingText[1] = L"connecting to the TV";
    StageRemovingText[0] = L"удаление старой копии виджета";
    StageRemovingText[1] = L"removing the old copy of the widget";
    StageCopyingText[0] = L"копирование виджета на ТВ";
    StageCopyingText[1] = L"copying the widget to the TV";
    StageInstallingText[0] = L"установка виджета на ТВ";
    StageInstallingText[1] = L"installing it on the TV";
    WhyNotRunText[0] =
        L"Программа связи с телевизором не запустилась: её, скорее всего, остановил антивирус или "
        L"брандмауэр.\nРазрешите её в антивирусе, на вопрос брандмауэра ответьте \"Разрешить доступ\" и "
        L"повторите установку.";
    WhyNotRunText[1] =
        L"The program that talks to the TV did not start: an antivirus or the firewall most likely stopped "
        L"it.\nAllow it in your antivirus, answer the firewall's question with \"Allow access\" and try "
        L"again.";
    WhyFolderText[0] =
        L"Программа не может записывать файлы в папку, из которой она запущена.\nСкопируйте программу в свою "
        L"папку, например на Рабочий стол, и запустите её оттуда.";
    WhyFolderText[1] =
        L"The program cannot write files in the folder it was started from.\nCopy the program to a folder of "
        L"your own, for example the Desktop, and start it from there.";
    WhyUnknownText[0] =
        L"Установка не удалась, и причину определить не получилось.\nВыключите ТВ из розетки на минуту, "
        L"перезапустите ПК и повторите установку.";
    WhyUnknownText[1] =
        L"The installation failed, and the reason could not be found.\nUnplug the TV for a minute, restart "
        L"this PC and try again.";
    WhyDevModeOffText[0] =
        L"На телевизоре выключен режим разработчика (Developer mode).\nОткройте на ТВ Apps, наберите 1 2 3 4 "
        L"5, включите Developer mode, в поле \"Host PC IP\" введите %1, нажмите OK, затем выключите ТВ из "
        L"розетки на минуту и повторите установку.";
    WhyDevModeOffText[1] =
        L"Developer mode is off on the TV.\nOn the TV open Apps, press 1 2 3 4 5, switch Developer mode on, "
        L"type %1 in \"Host PC IP\", press OK, then unplug the TV for a minute and try again.";
    WhyNotATvText[0] =
        L"По адресу %1 отвечает не телевизор, или на ТВ выключен режим разработчика.\nСверьте адрес на ТВ "
        L"(Меню > Сеть > Состояние сети > Настройки IP) и включите на ТВ Developer mode: Apps, 1 2 3 4 5.";
    WhyNotATvText[1] =
        L"The device at %1 is not the TV, or the TV's developer mode is off.\nCheck the address on the TV "
        L"(Menu > Network > Network Status > IP Settings) and switch Developer mode on: Apps, 1 2 3 4 5.";
    WhyHostIpOtherText[0] =
        L"Телевизор настроен на другой ПК: в поле \"Host PC IP\" стоит %1.\nОткройте на ТВ Apps, наберите 1 "
        L"2 3 4 5, в поле \"Host PC IP\" введите адрес этого ПК: %2, нажмите OK, затем выключите ТВ из "
        L"розетки на минуту и повторите установку.";
    WhyHostIpOtherText[1] =
        L"The TV is set up for another PC: its \"Host PC IP\" is %1.\nOn the TV open Apps, press 1 2 3 4 5, "
        L"type this PC's address %2 in \"Host PC IP\", press OK, then unplug the TV for a minute and try "
        L"again.";
    WhyHostIpReversedText[0] =
        L"Телевизор записал адрес этого ПК задом наперёд: %1.\nОткройте на ТВ Apps, наберите 1 2 3 4 5 и "
        L"введите в поле \"Host PC IP\" адрес задом наперёд, %2, тогда ТВ запишет его верно. Затем выключите "
        L"ТВ из розетки на минуту и повторите установку.";
    WhyHostIpReversedText[1] =
        L"The TV stored this PC's address backwards: %1.\nOn the TV open Apps, press 1 2 3 4 5 and type the "
        L"address backwards in \"Host PC IP\", %2, so that the TV stores it right. Then unplug the TV for a "
        L"minute and try again.";
    WhyDevModeInactiveText[0] =
        L"Режим разработчика на телевизоре включён и адрес ПК верный, но ТВ его ещё не применил.\nВыключите "
        L"ТВ из розетки на минуту (или держите кнопку питания, пока не появится логотип), включите его и "
        L"повторите установку.";
    WhyDevModeInactiveText[1] =
        L"Developer mode is on and the PC's address is right, but the TV has not applied it yet.\nUnplug the "
        L"TV for a minute (or hold Power until the logo shows), turn it back on and try again.";
    TvModelText[0] = L"Телевизор: %1";
    TvModelText[1] = L"TV: %1";
    TvSaidText[0] = L"Ответ телевизора:";
    TvSaidText[1] = L"The TV answered:";
    OrText[0] = L" или ";
    OrText[1] = L" or ";
    SearchingText[0] = L"Ищем телевизор в сети этого ПК...";
    SearchingText[1] = L"Looking for the TV on this PC's network...";
    SearchNoneText[0] =
        L"В сети этого ПК не ответил ни один телевизор: включите ТВ и проверьте, что он подключён к той же "
        L"сети, что и этот ПК.";
    SearchNoneText[1] =
        L"No TV answered on this PC's network: turn the TV on and make sure it is on the same network as "
        L"this PC.";
    NothingAtText[0] = L"По адресу %1 никто не отвечает.";
    NothingAtText[1] = L"Nothing answers at %1.";
    FoundTvText[0] = L"Телевизор отвечает по адресу %1: %2.";
    FoundTvText[1] = L"A TV answers at %1: %2.";
    TvAndModelText[0] = L"%1, модель %2";
    TvAndModelText[1] = L"%1, model %2";
    InstallThereText[0] = L"Установить виджет на этот телевизор?";
    InstallThereText[1] = L"Install the widget on this TV?";
    FoundSeveralText[0] =
        L"В сети этого ПК отвечают несколько телевизоров. Впишите адрес нужного в поле \"IP Адрес "
        L"телевизора\" и нажмите \"Установить Виджет\":";
    FoundSeveralText[1] =
        L"Several TVs answer on this PC's network. Type the address of the one you want in \"IP Address TV\" "
        L"and press \"Widget Install\":";
    ForThisPcText[0] = L"режим разработчика включён для этого ПК";
    ForThisPcText[1] = L"developer mode on for this PC";
    ForOtherPcText[0] = L"режим разработчика включён для другого ПК (%1)";
    ForOtherPcText[1] = L"developer mode on for another PC (%1)";
    DevModeOffStateText[0] = L"режим разработчика выключен";
    DevModeOffStateText[1] = L"developer mode off";
    YesCaption[0] = L"Да";
    YesCaption[1] = L"Yes";
    NoCaption[0] = L"Нет";
    NoCaption[1] = L"No";
    ManualCaption[0] = L"Инструкция по установке";
    ManualCaption[1] = L"Installation manual";
    ManualText[0] = AppendPieces(kManualRu);
    ManualText[1] = AppendPieces(kManualEn);
}
