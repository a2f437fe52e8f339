// One download with the program's own code and its build's trust settings:
// fetch.exe URL PATH; exit code 0 when the file arrived. The download's log
// lines go to velmora.log in the working directory.
#include "log/log.h"
#include "net/net.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 3)
        return 2;
    g_loggingEnabled = true;
    return DownloadFile(argv[1], argv[2]) ? 0 : 1;
}
