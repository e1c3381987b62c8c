// Start-up step that reads the opt-out file named by -opto.
#include "optout/optout_file.h"

#include "app/settings.h"

void loadOptOutFile() {
    if (g_optOutCfgFile[0] == '\0') return;
    if (readOptOutParameters(g_optOutCfgFile) == 1) g_dncEnabled = 1;
}
