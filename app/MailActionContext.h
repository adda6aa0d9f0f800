// What a way of sending gets from the window (toolkit-free): the field
// values, the activity log and the component that owns per-send objects
// (for example a MAPI sender created for one send). AppHandle is the
// window's native id for "Use App Handle" (0 when there is none).
// Each branch of "Invia mail" is a function of this context:
//   bool SendByMapi(TMailActionContext& context);    app/SendByMapi.h
//   void SendByMailto(TMailActionContext& context);  app/SendByMailto.h
#pragma once

#include <cstdint>

#include "app/ActivityLog.h"
#include "app/FieldModel.h"
#include "core/Component.h"

struct TMailActionContext {
    const TFieldModel& Fields;
    TActivityLog& Log;
    TComponent& Owner;
    uintptr_t AppHandle = 0;
};
