#include "tests/support/ConfigRecords.h"

#include "config/NodeConfig.h"

void ResetConfigRecordsForStartup() {
    ConfigReal[0] = NodeConfig{};
    ConfigSetting[0] = NodeConfig{};
}
