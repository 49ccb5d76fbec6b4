// One pelto-server process: --check, --backup, or serving until SIGTERM.
#pragma once

#include "server/options.hpp"

int runServer(const ServerOptions& options);
