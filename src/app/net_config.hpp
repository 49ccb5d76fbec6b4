// The network settings the exchange needs, taken from the configuration, the
// user name and the display mode of this process.
#pragma once

#include "net/net_settings.hpp"

NetSettings currentNetSettings();
