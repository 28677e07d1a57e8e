// collation.h - the order of the target list's names: numbers by value,
// case ignored, Japanese rules (kana and kanji as a Japanese reader expects,
// Latin names as any other would). Qt's collator on Linux, the system's
// CompareStringEx on Windows.
#pragma once

#include <string>

#ifdef _WIN32
#else
#include <QCollator>
#include <QCollatorSortKey>
#endif

namespace pelkoran {

// What a name is compared by; made by a NameCollator.
class CollationKey {
public:
    // Negative, zero or positive as this key sorts before, with or after `other`.
    int compare(const CollationKey& other) const;

private:
    friend class NameCollator;
#ifdef _WIN32
    explicit CollationKey(std::wstring text) : text_(std::move(text)) {}
    std::wstring text_;
#else
    explicit CollationKey(QCollatorSortKey key) : key_(std::move(key)) {}
    QCollatorSortKey key_;
#endif
};

// A collator; one per thread that makes keys.
class NameCollator {
public:
    NameCollator();
    // The key of the UTF-8 text `text`.
    CollationKey KeyOf(const std::string& text) const;

#ifndef _WIN32
private:
    QCollator collator_;
#endif
};

}  // namespace pelkoran
