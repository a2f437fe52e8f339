// One download with the program's own code and its build's trust settings:
// fetch.exe URL PATH; exit code 0 when the file arrived. The download's log
// lines go to velmora.log in the working directory, with what the failure
// box would tell the player.
#include "launch/launch.h"
#include "log/log.h"
#include "net/net.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 3)
        return 2;
    g_loggingEnabled = true;
    DownloadFailure why;
    if (DownloadFile(argv[1], argv[2], {}, &why))
        return 0;
    Logger::Write(L"ERROR", L"Told the player: " + DownloadFailureText(argv[2], why));
    return 1;
}
