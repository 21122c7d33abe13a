#pragma once
// The older name of dispatchMethod, for callers not yet moved to ControlContract.h.
#include "ControlContract.h"

inline QMetaMethod quarryMethod(const QObject *box, int dispId)
{
    return dispatchMethod(box, dispId);
}
