// The whole host SDK, for plug-in code.
#pragma once

#include "host/sdk/Arrays.h"
#include "host/sdk/CStatus.h"
#include "host/sdk/CString.h"
#include "host/sdk/CUtils.h"
#include "host/sdk/CValue.h"
#include "host/sdk/Enums.h"
#include "host/sdk/ICENodeContext.h"
#include "host/sdk/Math.h"
#include "host/sdk/Objects.h"
#include "host/sdk/Registration.h"
