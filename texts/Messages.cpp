// The program's own texts. The source is UTF-8; the literals are wide, so the Cyrillic texts
// show the same whatever the system code page.
#include "Messages.h"

#include <algorithm>
#include <iterator>

#include "Func.h"

constexpr MessageRow kMessages[] = {
    // A payload cannot be written, the address typed cannot be used.
    {Msg::FileInUseText,
     L"Файл \"%1\" занят другой программой, перезаписать его не удалось. Подождите немного и повторите "
     L"установку.",
     L"The file \"%1\" is in use by another program and could not be overwritten. Wait a moment and try the "
     L"installation again."},
    {Msg::BadAddressHintText,
     L"Введите адрес ТВ цифрами через точки, например 192.168.1.20. Адрес показан на ТВ: Меню > Сеть > "
     L"Состояние сети > Настройки IP.",
     L"Type the TV's address as numbers with dots, for example 192.168.1.20. The TV shows it under Menu > "
     L"Network > Network Status > IP Settings."},
    // The box after a failed run, one per cause: what happened (line 1), then the one thing to do (line 2).
    {Msg::WhyTurnedAwayText,
     L"Телевизор отклонил подключение этого ПК.\nНа ТВ откройте Apps, наберите 1 2 3 4 5, включите Developer "
     L"mode, в поле \"Host PC IP\" введите %1, нажмите OK, затем выключите ТВ из розетки на минуту и "
     L"повторите установку.",
     L"The TV turned this PC away.\nOn the TV open Apps, press 1 2 3 4 5, switch Developer mode on, type %1 "
     L"in \"Host PC IP\", press OK, then unplug the TV for a minute and try again."},
    {Msg::WhyNoAnswerText,
     L"Телевизор по адресу %1 не отвечает.\nВключите ТВ, проверьте, что он в той же сети, что и ПК, и "
     L"сверьте адрес: на ТВ Меню > Сеть > Состояние сети > Настройки IP.",
     L"The TV at %1 does not answer.\nTurn the TV on, make sure it is on the same network as this PC and "
     L"check the address: on the TV, Menu > Network > Network Status > IP Settings."},
    {Msg::WhyWrongSeriesText,
     L"Телевизор не дал записать виджет: похоже, выбрана не та серия ТВ.\nВыберите другую серию в поле "
     L"\"Серия ТВ\" и повторите установку.",
     L"The TV did not let the widget be copied: the TV series chosen looks wrong.\nChoose the other series "
     L"under \"Series TV\" and try again."},
    {Msg::WhyCertificateText,
     L"Телевизор не принял подпись виджета.\nЭтот ТВ принимает только виджеты, подписанные для него: "
     L"попросите у автора виджета версию для вашего ТВ.",
     L"The TV did not accept the widget's signature.\nThis TV accepts only widgets signed for it: ask the "
     L"widget's author for a version for your TV."},
    {Msg::WhyNotYetValidText,
     L"Телевизор считает подпись виджета ещё не действующей: на ТВ, скорее всего, неверные дата и "
     L"время.\nУстановите на ТВ правильные дату и время и повторите установку.",
     L"The TV takes the widget's signature as not yet valid: its date and time are most likely wrong.\nSet "
     L"the right date and time on the TV and try again."},
    {Msg::WhyOtherAuthorText,
     L"На телевизоре уже есть виджет KAVORIN другого автора.\nУдалите его с ТВ (SmartHub, \"Мои App\") и "
     L"повторите установку.",
     L"The TV already has a KAVORIN widget from another author.\nRemove it from the TV (SmartHub, \"My "
     L"App\") and try again."},
    {Msg::WhyDamagedText,
     L"Телевизор не смог прочитать пакет виджета.\nСкачайте эту программу установки заново и запустите её "
     L"ещё раз.",
     L"The TV could not read the widget package.\nDownload this installer again and run it once more."},
    {Msg::WhyRefusedText,
     L"Телевизор отказался устанавливать виджет.\nВыключите ТВ из розетки на минуту, включите его и "
     L"повторите установку.",
     L"The TV refused to install the widget.\nUnplug the TV for a minute, turn it back on and try again."},
    {Msg::WhyNoSpaceText,
     L"На телевизоре не хватает места для виджета.\nУдалите на ТВ ненужные приложения (SmartHub, \"Мои "
     L"App\") и повторите установку.",
     L"There is not enough space on the TV for the widget.\nRemove apps you do not need from the TV "
     L"(SmartHub, \"My App\") and try again."},
    {Msg::WhyDroppedText,
     L"Связь с телевизором прервалась во время установки.\nПроверьте, что ТВ включён и не уходит в режим "
     L"ожидания и что сеть работает, затем повторите установку.",
     L"The connection to the TV dropped during the installation.\nMake sure the TV stays on and the network "
     L"works, then try again."},
    {Msg::WhyStoppedText,
     L"Телевизор перестал отвечать на шаге: %1.\nПодождите минуту. Если ТВ так и не ответит, выключите его "
     L"из розетки на минуту, включите и повторите установку.",
     L"The TV stopped answering at this step: %1.\nWait a minute. If the TV still does not answer, unplug it "
     L"from the socket for a minute, turn it back on and try again."},
    {Msg::WhyNotRunText,
     L"Программа связи с телевизором не запустилась: её, скорее всего, остановил антивирус или "
     L"брандмауэр.\nРазрешите её в антивирусе, на вопрос брандмауэра ответьте \"Разрешить доступ\" и "
     L"повторите установку.",
     L"The program that talks to the TV did not start: an antivirus or the firewall most likely stopped "
     L"it.\nAllow it in your antivirus, answer the firewall's question with \"Allow access\" and try again."},
    {Msg::WhyFolderText,
     L"Программа не может записывать файлы в папку, из которой она запущена.\nСкопируйте программу в свою "
     L"папку, например на Рабочий стол, и запустите её оттуда.",
     L"The program cannot write files in the folder it was started from.\nCopy the program to a folder of "
     L"your own, for example the Desktop, and start it from there."},
    {Msg::WhyUnknownText,
     L"Установка не удалась, и причину определить не получилось.\nВыключите ТВ из розетки на минуту, "
     L"перезапустите ПК и повторите установку.",
     L"The installation failed, and the reason could not be found.\nUnplug the TV for a minute, restart this "
     L"PC and try again."},
    // Causes only the TV's own answers tell.
    {Msg::WhyDevModeOffText,
     L"На телевизоре выключен режим разработчика (Developer mode).\nОткройте на ТВ Apps, наберите 1 2 3 4 5, "
     L"включите Developer mode, в поле \"Host PC IP\" введите %1, нажмите OK, затем выключите ТВ из розетки "
     L"на минуту и повторите установку.",
     L"Developer mode is off on the TV.\nOn the TV open Apps, press 1 2 3 4 5, switch Developer mode on, "
     L"type %1 in \"Host PC IP\", press OK, then unplug the TV for a minute and try again."},
    {Msg::WhyNotATvText,
     L"По адресу %1 отвечает не телевизор, или на ТВ выключен режим разработчика.\nСверьте адрес на ТВ (Меню "
     L"> Сеть > Состояние сети > Настройки IP) и включите на ТВ Developer mode: Apps, 1 2 3 4 5.",
     L"The device at %1 is not the TV, or the TV's developer mode is off.\nCheck the address on the TV (Menu "
     L"> Network > Network Status > IP Settings) and switch Developer mode on: Apps, 1 2 3 4 5."},
    {Msg::WhyHostIpOtherText,
     L"Телевизор настроен на другой ПК: в поле \"Host PC IP\" стоит %1.\nОткройте на ТВ Apps, наберите 1 2 3 "
     L"4 5, в поле \"Host PC IP\" введите адрес этого ПК: %2, нажмите OK, затем выключите ТВ из розетки на "
     L"минуту и повторите установку.",
     L"The TV is set up for another PC: its \"Host PC IP\" is %1.\nOn the TV open Apps, press 1 2 3 4 5, "
     L"type this PC's address %2 in \"Host PC IP\", press OK, then unplug the TV for a minute and try "
     L"again."},
    {Msg::WhyHostIpReversedText,
     L"Телевизор записал адрес этого ПК задом наперёд: %1.\nОткройте на ТВ Apps, наберите 1 2 3 4 5 и "
     L"введите в поле \"Host PC IP\" адрес задом наперёд, %2, тогда ТВ запишет его верно. Затем выключите ТВ "
     L"из розетки на минуту и повторите установку.",
     L"The TV stored this PC's address backwards: %1.\nOn the TV open Apps, press 1 2 3 4 5 and type the "
     L"address backwards in \"Host PC IP\", %2, so that the TV stores it right. Then unplug the TV for a "
     L"minute and try again."},
    {Msg::WhyDevModeInactiveText,
     L"Режим разработчика на телевизоре включён и адрес ПК верный, но ТВ его ещё не применил.\nВыключите ТВ "
     L"из розетки на минуту (или держите кнопку питания, пока не появится логотип), включите его и повторите "
     L"установку.",
     L"Developer mode is on and the PC's address is right, but the TV has not applied it yet.\nUnplug the TV "
     L"for a minute (or hold Power until the logo shows), turn it back on and try again."},
    // The step at which the TV stopped answering, as WhyStoppedText names it.
    {Msg::StageConnectingText, L"подключение к ТВ", L"connecting to the TV"},
    {Msg::StageRemovingText, L"удаление старой копии виджета", L"removing the old copy of the widget"},
    {Msg::StageCopyingText, L"копирование виджета на ТВ", L"copying the widget to the TV"},
    {Msg::StageInstallingText, L"установка виджета на ТВ", L"installing it on the TV"},
    // What the box adds after the cause, and how it joins this PC's addresses.
    {Msg::TvSaidText, L"Ответ телевизора:", L"The TV answered:"},
    {Msg::TvModelText, L"Телевизор: %1", L"TV: %1"},
    {Msg::OrText, L" или ", L" or "},
    // The search for the TV on this PC's networks.
    {Msg::SearchingText, L"Ищем телевизор в сети этого ПК...", L"Looking for the TV on this PC's network..."},
    {Msg::SearchNoneText,
     L"В сети этого ПК не ответил ни один телевизор: включите ТВ и проверьте, что он подключён к той же "
     L"сети, что и этот ПК.",
     L"No TV answered on this PC's network: turn the TV on and make sure it is on the same network as this "
     L"PC."},
    {Msg::NothingAtText, L"По адресу %1 никто не отвечает.", L"Nothing answers at %1."},
    {Msg::FoundTvText, L"Телевизор отвечает по адресу %1: %2.", L"A TV answers at %1: %2."},
    {Msg::TvAndModelText, L"%1, модель %2", L"%1, model %2"},
    {Msg::InstallThereText, L"Установить виджет на этот телевизор?", L"Install the widget on this TV?"},
    {Msg::FoundSeveralText,
     L"В сети этого ПК отвечают несколько телевизоров. Впишите адрес нужного в поле \"IP Адрес телевизора\" "
     L"и нажмите \"Установить Виджет\":",
     L"Several TVs answer on this PC's network. Type the address of the one you want in \"IP Address TV\" "
     L"and press \"Widget Install\":"},
    {Msg::ForThisPcText, L"режим разработчика включён для этого ПК", L"developer mode on for this PC"},
    {Msg::ForOtherPcText, L"режим разработчика включён для другого ПК (%1)",
     L"developer mode on for another PC (%1)"},
    {Msg::DevModeOffStateText, L"режим разработчика выключен", L"developer mode off"},
    {Msg::YesCaption, L"Да", L"Yes"},
    {Msg::NoCaption, L"Нет", L"No"},
};

namespace {

constexpr bool EveryNameHasItsRow() {
    for (size_t i = 0; i < std::size(kMessages); ++i)
        if (static_cast<size_t>(kMessages[i].name) != i) return false;
    return std::size(kMessages) == static_cast<size_t>(Msg::Count);
}
static_assert(EveryNameHasItsRow(), "the rows must follow the names, one row each");

bool IsNameChar(wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

}  // namespace

std::wstring FillPlaceholders(std::wstring_view pattern, std::span<const Placeholder> values) {
    std::wstring out;
    size_t at = 0;
    while (at < pattern.size()) {
        const size_t mark = pattern.find(L'%', at);
        if (mark == std::wstring_view::npos) break;
        size_t end = mark + 1;
        while (end < pattern.size() && IsNameChar(pattern[end])) ++end;
        const std::wstring_view name = pattern.substr(mark + 1, end - mark - 1);
        out.append(pattern.substr(at, mark - at));
        const Placeholder* found = nullptr;
        for (const Placeholder& p : values)
            if (!name.empty() && p.name == name) found = &p;
        out.append(found ? found->value : pattern.substr(mark, end - mark));
        at = end;
    }
    out.append(pattern.substr(std::min(at, pattern.size())));
    return out;
}

UnicodeString Say(Msg name, int lang, std::initializer_list<std::wstring_view> values) {
    const MessageRow& row = kMessages[static_cast<int>(name)];
    const wchar_t* text = LanguageIndex(lang) == kEnglish ? row.en : row.ru;
    // "%1" is the first value, "%2" the second, ...
    constexpr std::wstring_view kNumbers[] = {L"1", L"2", L"3"};
    Placeholder filled[std::size(kNumbers)];
    size_t n = 0;
    for (const std::wstring_view value : values)
        if (n < std::size(kNumbers)) filled[n] = {kNumbers[n], value}, ++n;
    return UnicodeString(FillPlaceholders(text, std::span<const Placeholder>(filled, n)));
}
