// The node registrations XSILoadPlugin performs. Each builds one node
// definition, hands it to the registrar under the category "Pdc" and returns
// OK whatever the host answered; a refused port addition is reported through
// CStatus::AssertSucceeded only and does not stop the rest.
#pragma once

#include "host/sdk/Xsi.h"

XSI::CStatus RegisterVelpoImport(XSI::PluginRegistrar& registrar);
XSI::CStatus RegisterVelpoSetData(XSI::PluginRegistrar& registrar);
XSI::CStatus RegisterVelpoExport(XSI::PluginRegistrar& registrar);
