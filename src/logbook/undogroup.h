#pragma once

#include <QPointer>

#include "store/objectcontext.h"

namespace kalvora {

/**
 * One user gesture as one undo step: the assignments made while it lives undo
 * together. Null contexts are allowed (nothing to group). GUI thread.
 */
class UndoGroup final
{
public:
    explicit UndoGroup(ObjectContext* context) : m_context(context)
    {
        if (m_context)
            m_context->beginUndoGroup();
    }
    ~UndoGroup()
    {
        if (m_context)
            m_context->endUndoGroup();
    }
    UndoGroup(const UndoGroup&) = delete;
    UndoGroup& operator=(const UndoGroup&) = delete;

private:
    QPointer<ObjectContext> m_context;
};

} // namespace kalvora
