// collation_qt.cpp - the list's order through QCollator.
#include "collation.h"

#include <QLocale>
#include <QString>

namespace pelkoran {

int CollationKey::compare(const CollationKey& other) const
{
    return key_.compare(other.key_);
}

// One order wherever the list is kept (the window, pelkoran-cli), not the
// process's locale: the Japanese collation, which the user interface is
// written for.
NameCollator::NameCollator() : collator_(QLocale(QLocale::Japanese, QLocale::Japan))
{
    collator_.setNumericMode(true);
    collator_.setCaseSensitivity(Qt::CaseInsensitive);
    collator_.setIgnorePunctuation(false);
}

CollationKey NameCollator::KeyOf(const std::string& text) const
{
    return CollationKey(
        collator_.sortKey(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))));
}

}  // namespace pelkoran
