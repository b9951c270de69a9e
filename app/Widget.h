// The widget this installer puts on the TV: its name (the package is "<name>.wgt"), the
// application id it is removed and installed by, and each series' staging directory on the TV.
// The widget's build reads the application id from here (widget/CMakeLists.txt), so the package
// declares exactly the id the installer uses.
#pragma once

inline constexpr const wchar_t* kWidgetName = L"KAVORIN";
inline constexpr const wchar_t* kWidgetAppId = L"Qw7TzLp2Xe.KAVORIN";
// By series index: 0 "J,K", 1 "M,N,Q,R,T,A,B".
inline constexpr const wchar_t* kTvStagingDirs[2] = {L"/opt/usr/apps/tmp",
                                                     L"/home/owner/share/tmp/sdk_tools/tmp"};
