// Resource identifiers of the progress dialog.
#pragma once

#define IDD_PROGRESS 101
#define IDC_PROGRESS 1000
#define IDC_STATUS 1001
