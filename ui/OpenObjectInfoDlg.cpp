#include "ui/OpenObjectInfoDlg.h"
