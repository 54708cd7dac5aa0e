#include "ui/AddEditMailSmsNumDlg.h"
