// Resource ids shared by the resource script and the code.
#pragma once

#define IDS_FINISH_HINT 3     // the Finish button's hint once the dump is over
#define IDS_FINISH_CAPTION 4  // the Finish button's caption once the dump is over
