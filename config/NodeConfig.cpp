#include "config/NodeConfig.h"

NodeArray ConfigReal;
NodeArray ConfigSetting;
