#include "gsm/GsmHandlerMsg.h"

CGsmHandlerMsg::~CGsmHandlerMsg() = default;
