// Shared by the install window tests: a scratch working folder, the recorder's journal, the
// main window with captured message boxes, and "do this while a command runs".
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Mainwin.h"
#include "net/TvProbeWin.h"
#include "WindowTestSupport.h"

namespace installtest {

using windowtest::Pump;
using windowtest::WindowText;

// A fresh folder under %TEMP%, removed (with whatever is left in it) on destruction.
class ScratchDir {
public:
    explicit ScratchDir(const wchar_t* tag);
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

void RemoveTree(const std::wstring& path);
bool IsFile(const std::wstring& path);
bool IsDir(const std::wstring& path);
std::optional<std::string> ReadBytes(const std::wstring& path);
void WriteBytes(const std::wstring& path, const std::string& bytes);
std::vector<std::wstring> ListDir(const std::wstring& path);  // names, sorted, no . / ..
void SetEnv(const wchar_t* name, const wchar_t* value);       // value null: unset

// One run of the recorder as the journal holds it.
struct Call {
    std::wstring cwd, cmdline;
    std::vector<std::wstring> argv;
    std::wstring file;  // push: "<name>:<size>"
};
std::vector<Call> ReadJournal(const std::wstring& path);
size_t CountCalls(const std::wstring& path);  // cheap, for polling

// The recording stand-in's background server (KAVORIN_RECORDER_SERVER=1): whether one answers,
// the stand-in processes running from "iu.exe", starting one from `exe` as another tool would
// have left it ("sdb.exe"), and ending all of them (a server that ignores kill-server; after a
// test).
bool StandInServerAnswers();
std::vector<DWORD> StandInProcesses(const wchar_t* exeName = L"iu.exe");
void StartStandInServer(const std::wstring& exe);
void EndStandIns();

// Calls `tick` about every 10 ms from the message loop (a thread timer, so it runs inside the
// runner's wait) until the object goes away.
class DuringRun {
public:
    explicit DuringRun(std::function<void()> tick);
    ~DuringRun();
    DuringRun(const DuringRun&) = delete;
    DuringRun& operator=(const DuringRun&) = delete;

private:
    UINT_PTR timer_ = 0;
};

// A message box as the user saw it.
struct Box {
    std::wstring text;
    bool error;  // shown with the error icon
};

// The main window in a scratch working folder, the recorder's journal beside it (outside the
// working folder). Message boxes are answered as a user does: read, then OK. The TV probe is a
// stand-in that opens no socket: it answers as a TV that turns this PC away.
class InstallWindow : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    TmainForm& form() { return *mainForm; }
    void TypeAddress(const wchar_t* text);  // as a paste would: the key filter never sees it
    void ClickInstall();
    void Click(TRadioGroup* group, int index);
    std::wstring Status() { return WindowText(form().statusLbl->Handle()); }
    int Bar() { return form().installPB->Position(); }
    std::wstring Work(const std::wstring& name) const { return work_ + L"\\" + name; }
    std::vector<Call> Journal() const { return ReadJournal(journal_); }
    std::vector<Box> Boxes() { return std::exchange(boxes_, {}); }  // those shown since the last call
    size_t Calls() const { return CountCalls(journal_); }

    std::unique_ptr<ScratchDir> scratch_;
    std::wstring work_, journal_, previousDir_;
    std::vector<Box> boxes_;
    UINT_PTR boxTimer_ = 0;
    // The addresses the installer asked about after a failed connect; no probe leaves the test.
    std::vector<std::string> probed_;
    tvprobe::ProbeFunction previousProbe_ = nullptr;
};

}  // namespace installtest
