// Why an installation failed: the one list of causes that the reading of the run's logs
// (install/Diagnosis.h) and the answers of the TV itself (TvProbe.h) both give.
#pragma once

enum class FailureCause {
    Unknown,             // nothing known: the failure's reason could not be found
    TvTurnedPcAway,      // the TV accepts the connection and closes it: Host PC IP names another PC
    NothingAnswers,      // no TV at that address: off, mistyped, another network
    WrongSeries,         // the staging folder of the other generation cannot be written
    CertificateRefused,  // the TV accepts only packages signed for it
    CertificateNotYet,   // the signature is not valid yet: the TV's clock is wrong
    OtherAuthor,         // a copy signed by someone else is installed
    PackageDamaged,      // the TV cannot read the package
    PackageRefused,      // any other refusal of the TV's installer
    NoSpace,             // no room on the TV
    ConnectionDropped,   // the connection went away after the TV had been reached
    StoppedAnswering,    // the TV took the connection but stopped answering at some step
    ClientNeverRan,      // the bridge client printed nothing at all: blocked or removed
    FolderNotWritable,   // the payloads could not be written where the program was started
    // Only from asking the TV itself.
    DevModeOff,       // developer mode is off (or the device there is no TV with it on)
    NotATv,           // the developer port refuses and no TV service answers
    HostIpOther,      // developer mode holds another PC's address
    HostIpReversed,   // it holds this PC's address written backwards
    DevModeInactive,  // the right address, but the TV has not applied it yet
    Count             // not a cause: how many there are
};
