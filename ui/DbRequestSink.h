#pragma once
// Where the register's windows send their database requests: the document's
// DatabaseRequest, which runs each at once; the answer comes back later
// through the document's inbox and the screen. Tests collect the requests.

#include "core/Msg.h"

#include <functional>
#include <memory>

using DbRequestSink = std::function<void(std::unique_ptr<CMsg> request)>;
