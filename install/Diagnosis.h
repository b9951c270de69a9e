// Why a failed installation failed: one cause from a fixed catalogue, read from what the run left
// behind (the logs, the client's error stream, what the installer itself knows). No Windows here,
// so the host tests check it against the real texts of both bridge clients.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "InstallSteps.h"
#include "UnicodeString.h"
#include "net/FailureCause.h"
#include "net/TvProbe.h"
#include "net/TvSearch.h"

// What one command of the run left behind.
struct CommandRecord {
    bool started = false;
    std::optional<std::string> log;  // its log as written by this run (nullopt: none)
    std::string errors;              // what it wrote to its error stream
    bool stopped = false;            // its bound ran out and the installer ended it
};

// One run, as the installation made it: the payloads, then each command.
struct RunRecord {
    bool payloadsWritten = true;
    unsigned long payloadError = 0;  // the system's error code when they were not (0: none known)
    std::array<CommandRecord, kInstallCommandCount> commands{};
};

struct Diagnosis {
    FailureCause cause = FailureCause::Unknown;
    // The line in which the TV (or the client, passing on the TV's answer) gave its reason, as it
    // stands but without its line end; empty when there is none.
    std::string tvLine;
    // What the TV said of itself when it was asked: its model, the Host PC IP it holds, and
    // this PC's address that Host PC IP matched (written backwards, or not yet applied).
    std::string tvModel, tvHostIp, pcMatched;
    // StoppedAnswering: the step at which it stopped.
    InstallStage stage = InstallStage::None;
};

// The one cause the record shows: what the installer knows first (the payloads), then the rules
// over what the commands printed (Diagnosis.cpp, kRules: the first that matches wins).
Diagnosis DiagnoseRun(const RunRecord& run);

// Whether the cause is one the TV itself can tell more about (the connect failed).
bool WorthAskingTheTv(FailureCause cause) noexcept;
// The log-only diagnosis made precise with what the TV answered (tvprobe::Judge): its cause, where
// the answers settle one, and what the TV said of itself.
Diagnosis WithTvAnswers(Diagnosis logOnly, const tvprobe::Judgement& tv);

// This PC's addresses as the TV's answers are read (UTF-8).
std::vector<std::string> Utf8Addresses(const std::vector<std::wstring>& addresses);

// This PC's IPv4 addresses that share the TV's network (the first three numbers, as home networks
// have it); all of them when none does.
std::vector<std::wstring> PcAddressesForTv(const std::wstring& tvAddress,
                                           const std::vector<std::wstring>& pc);

// The box's text in language `lang`, from the catalogue of causes: what happened and what to
// do, with the addresses the remedy names (the TV's, this PC's ones joined by "or", the one the
// TV holds), then the TV's model and its own line where there are such.
UnicodeString DiagnosisMessage(const Diagnosis& d, int lang, const std::wstring& tvAddress,
                               const std::vector<std::wstring>& pcAddresses);

// The boxes of the search for the TV on this PC's networks, in language `lang`. `nothingAt`: the
// typed address where nothing answered (empty: the field was empty); `pcAddresses`: this PC's.
// One TV found: where it answers and what it is, what its own answer says to fix first, and the
// question whether to install there.
UnicodeString FoundTvQuestion(const tvsearch::FoundTv& tv, int lang, const std::wstring& nothingAt,
                              const std::vector<std::wstring>& pcAddresses);
// Several: what to do, then a line for each (address, what it is, developer mode and for which PC).
UnicodeString FoundTvsList(const std::vector<tvsearch::FoundTv>& tvs, int lang, const std::wstring& nothingAt,
                           const std::vector<std::wstring>& pcAddresses);
// None, the field empty: the bad-address text and what to check.
UnicodeString NoTvFoundText(int lang);
