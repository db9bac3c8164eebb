#include "PanelLog.h"

NamedMapping openPanelLog() {
    return OpenOrCreateMapping(kPanelLogName, sizeof(PanelLog));
}
