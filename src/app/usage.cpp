#include "app/usage.h"

std::string UsageText(const std::string& programName) {
    return "Usage: " + programName +
           " IMAGE.MOT FAMILY [ignored] [silent | silent_w_err] [force_update] "
           "[no_union_update]\n"
           "\n"
           "  IMAGE.MOT        main controller firmware image (Motorola S-records)\n"
           "  FAMILY           scanner family code, exact and case-sensitive (ZEPA, XR2, ...)\n"
           "  silent           run without the progress dialog's questions\n"
           "  silent_w_err     as silent, and write every final message to Refirm.log\n"
           "                   in the temporary directory instead of showing it\n"
           "  force_update     write the firmware even when the scanner has it already\n"
           "  no_union_update  upgrade only the main controller of a multi-processor family\n"
           "\n"
           "Keywords may stand anywhere on the line. The exit status is always 0: the\n"
           "outcome is shown in a message box or written to the log.\n";
}
