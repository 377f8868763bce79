#include "engine/tree_comparison.h"

#include <vector>

namespace tandrel {

bool TreeComparison::Going() {
    if (!fault_.Empty()) {
        return false;
    }
    if (stop_ && stop_()) {
        totals_.complete = false;
        return false;
    }
    return entries_.Writable(fault_);
}

bool TreeComparison::Error(const std::string& path, const std::string& reason) {
    ++totals_.errors;
    return entries_.Error(path.c_str(), reason.c_str()) && entries_.Writable(fault_);
}

bool TreeComparison::ComparePair(const std::string& first, const std::string& second) {
    if (!Going()) {
        return false;
    }
    if (!scratch_.has_value()) {
        scratch_.emplace();
    }
    const ComparisonOutcome outcome =
        CompareFiles(first.c_str(), second.c_str(), options_, pairs_, &*scratch_);
    ++totals_.pairs;
    ++pairsDone_;
    bytesDone_ += outcome.compared;
    totals_.runs += outcome.runs;
    totals_.bytes += outcome.bytes;
    if (outcome.stopped) {
        totals_.complete = false;
        return false;
    }
    if (!entries_.Writable(fault_)) {
        return false;
    }
    if (!outcome.done) {
        const Trouble& trouble = outcome.trouble;
        // A pair's trouble always names one of its files; one that names none is the pair's.
        return Error(trouble.file.empty() ? first : trouble.file,
                     trouble.reason.empty() ? "cannot be compared" : trouble.reason);
    }
    ++(outcome.identical ? totals_.identical : totals_.different);
    return true;
}

bool TreeComparison::CompareFolders(const std::string& first, const std::string& second) {
    return CompareEntries(first, second);
}

bool TreeComparison::CompareEntries(const std::string& first, const std::string& second) {
    std::vector<FolderEntry> listed[2];
    Trouble trouble;
    if (!ListFolder(first, listed[0], trouble) || !ListFolder(second, listed[1], trouble)) {
        return Error(trouble.file, trouble.reason);
    }
    const std::vector<FolderEntry>& a = listed[0];
    const std::vector<FolderEntry>& b = listed[1];
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() || j < b.size()) {
        if (!Going()) {
            return false;
        }
        const int order = i == a.size() ? 1 : j == b.size() ? -1 : a[i].name.compare(b[j].name);
        bool going = true;
        if (order < 0) {
            ++totals_.onlyFirst;
            going = entries_.Only(0, first.c_str(), a[i].name.c_str(), a[i].kind);
            ++i;
        } else if (order > 0) {
            ++totals_.onlySecond;
            going = entries_.Only(1, second.c_str(), b[j].name.c_str(), b[j].kind);
            ++j;
        } else {
            going = Entry(first, second, a[i], b[j]);
            ++i;
            ++j;
        }
        if (!going) {
            entries_.Writable(fault_);
            return false;
        }
    }
    return true;
}

bool TreeComparison::Entry(const std::string& first, const std::string& second,
                           const FolderEntry& a, const FolderEntry& b) {
    const std::string paths[2] = {JoinPath(first, a.name), JoinPath(second, b.name)};
    if (a.kind != b.kind) {
        ++totals_.mismatches;
        return entries_.Mismatch(paths[0].c_str(), paths[1].c_str(), a.kind, b.kind);
    }
    switch (a.kind) {
        case EntryKind::kFile:
            return ComparePair(paths[0], paths[1]);
        case EntryKind::kFolder:
            return CompareEntries(paths[0], paths[1]);
        case EntryKind::kLink: {
            std::string targets[2];
            Trouble trouble;
            if (!ReadLinkText(paths[0], targets[0], trouble) ||
                !ReadLinkText(paths[1], targets[1], trouble)) {
                return Error(trouble.file, trouble.reason);
            }
            ++totals_.links;
            totals_.linksDiffering += targets[0] != targets[1];
            return entries_.Link(paths[0].c_str(), paths[1].c_str(), targets[0].c_str(),
                                 targets[1].c_str());
        }
        case EntryKind::kOther:
            break;
    }
    return Error(paths[0], "not a regular file");
}

}  // namespace tandrel
