// Reading patchlist.txt, the hand-over from the component that downloads an
// update, into g_patchList.
#include "patch/patch.h"
#include "patch/patch_text.h"
#include "log/log.h"
#include "scoped_win.h"

#include <share.h>
#include <cstdio>
#include <iterator>

PatchList g_patchList;

bool LoadPatchList() {
    // Binary read; the text-mode line rules are applied by SplitPatchListBytes.
    // Other processes keep read and write access while we read.
    ScopedFile file(_wfsopen(L"patchlist.txt", L"rb", _SH_DENYNO));
    if (!file.get()) {
        Logger::Write(L"ERROR", L"Failed to open patchlist.txt");
        return false;
    }

    // A read error ends the reading like the end of the file: what was read stays.
    std::string bytes;
    char chunk[64 * 1024];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file.get())) > 0)
        bytes.append(chunk, got);
    file.close();

    PatchList lines = SplitPatchListBytes(bytes);
    std::string().swap(bytes);
    if (g_patchList.empty())
        g_patchList = std::move(lines); // no second copy of a long list
    else
        g_patchList.insert(g_patchList.end(), std::make_move_iterator(lines.begin()),
                           std::make_move_iterator(lines.end()));

    Logger::Write(L"INFO", L"Patchlist loaded successfully [objects: " +
                               std::to_wstring(g_patchList.size()) + L"]");
    return true;
}
