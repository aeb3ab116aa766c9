#pragma once

#include "TestHome.h"

#include "model/PageList.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

// Pages as ids, and as their places in an earlier order.
inline QList<QUuid> pageIds(const PageList::Pages& pages) {
    QList<QUuid> result;
    for (const auto& page : pages) {
        result << page->id();
    }
    return result;
}

// "2 0 1": where each page of the list stood in `original`.
inline QString pageOrder(const PageList::Pages& pages, const QList<QUuid>& original) {
    QStringList positions;
    for (const QUuid& id : pageIds(pages)) {
        positions << QString::number(original.indexOf(id));
    }
    return positions.join(u' ');
}

// `count` pages of small 100-dpi PNGs (see writePngs), cached in ~/cache;
// empty when one could not be made.
inline PageList::Pages makePages(const TestHome& home, qsizetype first, int count) {
    PageList::Pages pages;
    for (const QUrl& url : writePngs(home, first, count)) {
        auto made = ScannedPage::make(url, QUrl::fromLocalFile(home.filePath("cache")), 100, false);
        if (!made) {
            return {};
        }
        pages << std::move(made).value();
    }
    return pages;
}
