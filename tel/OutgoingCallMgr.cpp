// The outgoing-call manager is complete in its header; this unit keeps the
// library's source list stable for when outgoing calls arrive.
#include "tel/OutgoingCallMgr.h"
