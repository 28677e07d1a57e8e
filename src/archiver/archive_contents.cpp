// archive_contents.cpp - the reader's view of an archive for list and test.
#include "pelkoran/archive_contents.h"

#include "container/archive_reader.h"
#include "fs/names.h"

namespace lzh {

struct ArchiveContents::Impl {
    explicit Impl(const std::string& path) : reader(path), headers(reader.read_members(layout)) {}
    ArchiveReader reader;
    ArchiveLayout layout;
    std::vector<MemberHeader> headers;
    std::vector<MemberInfo> members;
};

ArchiveContents::ArchiveContents(const std::string& path) : impl_(std::make_unique<Impl>(path))
{
    impl_->members.reserve(impl_->headers.size());
    for (const MemberHeader& h : impl_->headers) {
        MemberInfo& m = impl_->members.emplace_back();
        m.method = h.method;
        m.name = decode_name(h.path, h.code_page);
        if (h.is_symlink)
            m.link_target = decode_name(h.link_target, h.code_page);
        m.is_directory = h.is_directory;
        m.is_symlink = h.is_symlink;
        m.original_size = h.original_size;
        m.packed_size = h.packed_size;
        m.mtime_known = h.mtime_known;
        m.mtime = h.mtime;
    }
}

ArchiveContents::~ArchiveContents() = default;

const ArchiveLayout& ArchiveContents::layout() const
{
    return impl_->layout;
}

const std::vector<MemberInfo>& ArchiveContents::members() const
{
    return impl_->members;
}

bool ArchiveContents::check(std::size_t i, std::string& reason)
{
    NullSink sink;
    try {
        impl_->reader.extract(impl_->headers.at(i), sink);
    } catch (const UnsupportedMethod& e) {
        reason = e.what();
        return false;
    }
    return true;
}

}  // namespace lzh
