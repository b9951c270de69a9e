#include "InstallSteps.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace {

enum class Part { Literal, TvAddress, AppId, WidgetName, StagingDir };

struct Piece {
    Part part;
    const wchar_t* text = nullptr;  // for literals
};

constexpr Piece L(const wchar_t* text) { return {Part::Literal, text}; }
constexpr Piece kAddress{Part::TvAddress};
constexpr Piece kAppId{Part::AppId};
constexpr Piece kWidget{Part::WidgetName};
constexpr Piece kStaging{Part::StagingDir};

// Each line is its pieces joined with nothing in between. The inner command is quoted once;
// the logged commands redirect the client's output into doLog.
using Line = std::array<Piece, 7>;
constexpr Piece kEnd{Part::Literal, nullptr};

constexpr std::array<Line, kInstallCommandCount> kLines{{
    {L(L"cmd.exe /c \"iu.exe kill-server\""), kEnd},
    {L(L"cmd.exe /c \"iu.exe connect "), kAddress, L(L":26101 > doLog\\step1.txt\""), kEnd},
    {L(L"cmd.exe /c \"iu.exe devices > doLog\\step2.txt\""), kEnd},
    {L(L"cmd.exe /c \"iu.exe shell 0 getappinstallpath > doLog\\step3.txt\""), kEnd},
    {L(L"cmd.exe /c \"iu.exe shell 0 vd_appuninstall "), kAppId,
     L(L"; echo cmd_ret:$?; > doLog\\step4.txt\""), kEnd},
    {L(L"cmd.exe /c \"iu.exe shell 0 mkdir "), kStaging, L(L"\""), kEnd},
    {L(L"cmd.exe /c \"iu.exe push "), kWidget, L(L".wgt "), kStaging, L(L"/"), kWidget,
     L(L".wgt > doLog\\step5.txt\"")},
    {L(L"cmd.exe /c \"iu.exe shell 0 vd_appinstall "), kAppId, L(L" "), kStaging, L(L"/"), kWidget,
     L(L".wgt; echo cmd_ret:$?; > doLog\\step6.txt\"")},
    {L(L"cmd.exe /c \"iu.exe shell 0 rmfile "), kStaging, L(L"/"), kWidget, L(L".wgt\""), kEnd},
    {L(L"cmd.exe /c \"iu.exe shell 0 applist > doLog\\step7.txt\""), kEnd},
    {L(L"cmd.exe /c \"iu.exe kill-server\""), kEnd},
}};

constexpr std::array<int, kInstallCommandCount> kBarRaise{4, 12, 4, 5, 12, 9, 12, 12, 9, 9, 10};

bool Contains(std::string_view hay, std::string_view needle) {
    return hay.find(needle) != std::string_view::npos;
}

bool ContainsNoCase(std::string_view hay, std::string_view needle) {
    auto lower = [](unsigned char c) { return static_cast<char>(std::tolower(c)); };
    return std::search(hay.begin(), hay.end(), needle.begin(), needle.end(),
                       [&](char a, char b) { return lower(a) == lower(b); }) != hay.end();
}

}  // namespace

UnicodeString BuildInstallCommand(int index, const InstallCommandInputs& in) {
    UnicodeString line;
    if (index < 0 || index >= kInstallCommandCount) return line;
    for (const Piece& piece : kLines[index]) {
        switch (piece.part) {
        case Part::Literal:
            if (!piece.text) return line;
            line += UnicodeString(piece.text);
            break;
        case Part::TvAddress: line += in.tvAddress; break;
        case Part::AppId: line += in.appId; break;
        case Part::WidgetName: line += in.widgetName; break;
        case Part::StagingDir: line += in.stagingDir; break;
        }
    }
    return line;
}

bool InstallCommandNamesStagingDir(int index) noexcept { return index >= 5 && index <= 8; }

bool InstallCommandTalksToTv(int index) noexcept { return index >= 1 && index <= 9; }

int InstallBarRaiseAfter(int index) noexcept {
    if (index < 0 || index >= kInstallCommandCount) return 0;
    return kBarRaise[static_cast<size_t>(index)];
}

bool IsAcceptableTvAddress(const UnicodeString& address) noexcept {
    const std::wstring& text = address.str();
    if (text.size() < 7) return false;
    return std::all_of(text.begin(), text.end(),
                       [](wchar_t c) { return (c >= L'0' && c <= L'9') || c == L'.'; });
}

InstallVerdict JudgeInstallLog(std::optional<std::string_view> logBytes) noexcept {
    if (!logBytes) return InstallVerdict::Failed;
    // The patterns hold no line end, so looking through the whole text is the same as looking
    // line by line, whatever the line ends are (LF, CRLF, CR CR LF, progress rewritten with CR).
    const std::string_view log = *logBytes;
    if (ContainsNoCase(log, "failed[")) return InstallVerdict::Failed;
    if (Contains(log, "install completed") || Contains(log, "installing[100]"))
        return InstallVerdict::Completed;
    return InstallVerdict::Failed;
}
