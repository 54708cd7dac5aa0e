#include "ui/AddEditCustomerInfoDlg.h"
