#pragma once

// The program's reverse-DNS id: the name of its desktop entry, its icon and its metainfo, so
// that desktops match its windows to the entry.
inline constexpr char kAppId[] = "io.github.tallyclock.Tallyclock";
