#include "config/NodeConfig.h"

NodeArray ConfigReal;
NodeArray ConfigSetting;

void ResetConfigRecordsForStartup() {
    ConfigReal[0] = NodeConfig{};
    ConfigSetting[0] = NodeConfig{};
}
