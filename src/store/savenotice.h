#pragma once

#include <QList>
#include <QMetaType>
#include <QString>

#include "store/objectid.h"

namespace kalvora {

/** What one save of a context wrote: the identifiers of the records it inserted, updated and deleted. */
struct SaveNotice
{
    QString storeId;
    QList<ObjectId> inserted;
    QList<ObjectId> updated;
    QList<ObjectId> deleted;

    bool isEmpty() const { return inserted.isEmpty() && updated.isEmpty() && deleted.isEmpty(); }
};

} // namespace kalvora

Q_DECLARE_METATYPE(kalvora::SaveNotice)
