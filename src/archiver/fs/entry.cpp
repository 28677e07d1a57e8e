// entry.cpp - the paths of walked entries, put together from their links.
#include "fs/entry.h"

#include <vector>

namespace lzh {

namespace {

// `top`'s own text, then '/' and each name from below `top` down to `link`.
std::string join(const PathLink* link, bool source)
{
    std::vector<const PathLink*> chain;
    std::size_t size = 0;
    for (const PathLink* p = link; p; p = p->parent) {
        chain.push_back(p);
        size += p->name.size() + 1;
    }
    const PathLink* top = chain.back();
    std::string path = source ? top->source : top->name;
    path.reserve(path.size() + size);
    for (auto it = chain.rbegin() + 1; it != chain.rend(); ++it) {
        path += '/';
        path += (*it)->name;
    }
    return path;
}

}  // namespace

std::string PathLink::stored_path() const
{
    return join(this, false);
}

std::string PathLink::source_path() const
{
    return join(this, true);
}

std::string NewEntry::stored_path() const
{
    return dir ? dir->stored_path() + '/' + name : name;
}

std::string NewEntry::source_path() const
{
    return dir ? dir->source_path() + '/' + name : source;
}

}  // namespace lzh
