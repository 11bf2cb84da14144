// Puts both configuration copies, ConfigReal and ConfigSetting, back to the
// zero-filled state the program starts with, so that each test starts from a
// clean record whatever the test before it left.
#pragma once

void ResetConfigRecordsForStartup();
