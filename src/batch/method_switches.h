// method_switches.h - the method and effort of a run, as names and as command-text switches.
#pragma once

#include <string>
#include <string_view>

namespace pelkoran {

// The names of the methods and efforts, as pelkoran-cli pack takes them
// (--method, --level) and Pelkoran.ini keeps them, and the defaults.
inline constexpr const char* kMethodNames[] = {"lh5", "lh6", "lh7"};
inline constexpr const char* kLevelNames[] = {"fast", "normal", "best"};
inline constexpr char kDefaultMethod[] = "lh5";
inline constexpr char kDefaultLevel[] = "normal";

bool IsMethodName(std::string_view name);
bool IsLevelName(std::string_view name);

/*
 * CommandSwitches - the switches that the command text of every item
 * carries for `method` and `level`: "-lh7 -best", "-lh6", "-fast". The
 * defaults (lh5, normal) add nothing, so a run with them writes exactly
 * the command texts of a run that never heard of either. A name that is
 * not one of the above counts as its default.
 */
std::string CommandSwitches(std::string_view method, std::string_view level);

// The same followed by "-verify" when `verify` is set: the engine reads each
// archive back before it takes the old one's place. Off adds nothing.
std::string CommandSwitches(std::string_view method, std::string_view level, bool verify);

}  // namespace pelkoran
