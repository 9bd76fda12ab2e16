#pragma once

#include <QString>

namespace StoreDomain {

// The shop's domain as the store details keep it: without a leading "http://" or "https://",
// a leading "www." or trailing "/" (the pages and the collection add their own).
inline QString clean(const QString& typed) {
    QString text = typed;
    for (const QLatin1String scheme : {QLatin1String("http://"), QLatin1String("https://")}) {
        if (text.startsWith(scheme, Qt::CaseInsensitive)) {
            text = text.sliced(scheme.size());
            break;
        }
    }
    if (text.startsWith(QLatin1String("www."), Qt::CaseSensitive))
        text = text.sliced(4);
    while (text.endsWith(u'/'))
        text.chop(1);
    return text;
}

} // namespace StoreDomain
