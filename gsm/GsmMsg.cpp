#include "gsm/GsmMsg.h"

CGsmMsg::~CGsmMsg() = default;
