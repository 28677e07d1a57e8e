// method_switches.cpp - the method and effort of a run, as names and as command-text switches.
#include "method_switches.h"

#include <algorithm>
#include <iterator>

namespace pelkoran {

namespace {

template <std::size_t N>
bool OneOf(const char* const (&names)[N], std::string_view name)
{
    return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

}  // namespace

bool IsMethodName(std::string_view name)
{
    return OneOf(kMethodNames, name);
}

bool IsLevelName(std::string_view name)
{
    return OneOf(kLevelNames, name);
}

std::string CommandSwitches(std::string_view method, std::string_view level)
{
    std::string switches;
    for (std::string_view word : {IsMethodName(method) && method != kDefaultMethod ? method : "",
                                  IsLevelName(level) && level != kDefaultLevel ? level : ""}) {
        if (word.empty())
            continue;
        switches.append(switches.empty() ? "-" : " -").append(word);
    }
    return switches;
}

std::string CommandSwitches(std::string_view method, std::string_view level, bool verify)
{
    std::string switches = CommandSwitches(method, level);
    if (verify)
        switches.append(switches.empty() ? "-verify" : " -verify");
    return switches;
}

}  // namespace pelkoran
