#pragma once
// The one reverse-DNS id: desktop entry, icon name, metainfo id, desktop file name.
inline constexpr char kAppId[] = "io.github.tallyclock.Tallyclock";
