#pragma once

#include "model/ScannerViewModel.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

// The model's pages as ids, and as their places in an earlier order.
inline QList<QUuid> pageIds(const ScannerViewModel& model) {
    QList<QUuid> result;
    for (const auto& page : model.pages()) {
        result << page->id();
    }
    return result;
}

// "2 0 1": where each page of the list stood in `original`.
inline QString pageOrder(const ScannerViewModel& model, const QList<QUuid>& original) {
    QStringList positions;
    for (const QUuid& id : pageIds(model)) {
        positions << QString::number(original.indexOf(id));
    }
    return positions.join(u' ');
}
