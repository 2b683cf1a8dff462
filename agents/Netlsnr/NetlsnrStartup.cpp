// Start-up hook of the listener agent program.
#include "Netlsnr.h"
#include "qenagfw.h"

namespace {
constexpr int kLogCategory = 20002;
}

extern "C" void QENAgStartup(void)
{
    QENAgInitEntryPointStruct(QENAG_EP_INIT_VERSION);
    QENAgSetEntryPoint(QENAG_EP_ID_MONITOR, netlsnr_monitor);
    QENAgSetLogCategory(kLogCategory);
}
