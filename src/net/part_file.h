// A download's <name>.part and the <name>.part.info beside it: the body until
// it is whole, and what is needed to ask for the rest of one that broke off.
#pragma once

#include "net/resume_rules.h"

#include <cstdint>
#include <optional>
#include <string>

class PartFile {
  public:
    // For the download that will become target.
    explicit PartFile(const std::wstring& target);

    const std::wstring& path() const { return part_; }
    const std::wstring& target() const { return target_; }
    // The folder of the target (and the part); empty for the working directory.
    std::wstring folder() const;

    // The .part's size, or -1 when there is none.
    long long Size() const;

    // The kept bytes and their info when a request to url may continue them
    // (all of them: a whole file that could not be placed); nothing
    // otherwise, and then a leftover info is deleted.
    struct Kept {
        PartInfo info;
        std::uint64_t bytes = 0;
    };
    std::optional<Kept> TakeKept(const std::string& url);

    // Records what the bytes being written are; false when it could not.
    bool WriteInfo(const PartInfo& info);
    // Deletes the info; false when it is still there.
    bool DropInfo();
    // Deletes the .part and its info: nothing of this download is kept.
    void Discard();
    // Flushes the whole .part to the disk and replaces the target with it
    // through the same replacing, retrying move as every other move (with a
    // wait of its own), then drops the info.
    bool Place();

  private:
    std::wstring target_, part_, info_;
};
