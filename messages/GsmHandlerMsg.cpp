#include "messages/GsmHandlerMsg.h"

CGsmHandlerMsg::~CGsmHandlerMsg() = default;
