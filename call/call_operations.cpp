#include "call_operations.h"

#include "control_ids.h"
#include "main_window.h"
#include "message_box.h"

void OnBnClickedButClearNumber() {
    if (g_mainDlg) g_mainDlg->setControlText(IDC_EDIT_NUMBER, "");
}

void OnBnClickedButClearTransfer() {
    if (g_mainDlg) g_mainDlg->setControlText(IDC_EDIT_TRANSFER, "");
}

void OnBnClickedButExit() {
    if (askYesNo("Are you sure to exit?") != IDYES_ANSWER) return;
    if (g_mainDlg) g_mainDlg->closeWindow();
}
