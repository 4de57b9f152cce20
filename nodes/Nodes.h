// The node callbacks the host calls, found by these names in the library's
// exports. Each takes the host's context for one call and returns OK on
// every path; failures show only in the host's log, as zero elements, or as
// outputs left unwritten. None throws.
//
// VelpoExport  collects every point's position, id and named attributes in
//              Evaluate (any number of calls, concurrently, over disjoint
//              subsets) and writes the frame's cache file in EndEvaluate.
// VelpoImport  sets the element count to the particle count of the frame's
//              cache file in BeginEvaluate, and outputs it.
// VelpoSetData reads the frame's cache file in BeginEvaluate and gives each
//              point its particle's values in Evaluate (read-only, so any
//              number of calls may run at once).
#pragma once

#include "host/sdk/Xsi.h"
#include "plugin/PluginExport.h"

VELPO_EXPORT XSI::CStatus VelpoExport_BeginEvaluate(XSI::ICENodeContext& context);
VELPO_EXPORT XSI::CStatus VelpoExport_Evaluate(XSI::ICENodeContext& context);
VELPO_EXPORT XSI::CStatus VelpoExport_EndEvaluate(XSI::ICENodeContext& context);

VELPO_EXPORT XSI::CStatus VelpoImport_BeginEvaluate(XSI::ICENodeContext& context);
VELPO_EXPORT XSI::CStatus VelpoImport_Evaluate(XSI::ICENodeContext& context);
VELPO_EXPORT XSI::CStatus VelpoImport_EndEvaluate(XSI::ICENodeContext& context);

VELPO_EXPORT XSI::CStatus VelpoSetData_BeginEvaluate(XSI::ICENodeContext& context);
VELPO_EXPORT XSI::CStatus VelpoSetData_Evaluate(XSI::ICENodeContext& context);
VELPO_EXPORT XSI::CStatus VelpoSetData_EndEvaluate(XSI::ICENodeContext& context);
