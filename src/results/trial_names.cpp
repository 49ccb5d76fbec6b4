// Trial types that read the numbers in parameter names: lattices describe
// repeated cells with parameters such as "cell3len", so names that differ
// only in a number one apart belong to neighbouring cells.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "common/random.hpp"
#include "common/text.hpp"
#include "results/trial_types.hpp"

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The value of a run of digits; runs too long for a cell number saturate, so
// that their neighbours' names are simply not found.
int64_t runValue(std::string_view digits) {
    int64_t value = 0;
    for (char c : digits) value = std::min<int64_t>(value * 10 + (c - '0'), int64_t{1} << 40);
    return value;
}

// A name split at one number: text before, the number, text after.
struct NumberedName {
    std::string_view before;
    int64_t number = 0;
    std::string_view after;
};

std::string joinName(std::string_view before, int64_t number, std::string_view after) {
    std::string name(before);
    name += std::to_string(number);
    name += after;
    return name;
}

// The name split at the number that follows `stem`, when a digit follows it.
bool splitAfterStem(std::string_view name, std::string_view stem, NumberedName& out) {
    if (name.size() <= stem.size() || !startsWithNoCase(name, stem) || !isDigit(name[stem.size()]))
        return false;
    size_t end = stem.size();
    while (end < name.size() && isDigit(name[end])) end++;
    out.before = name.substr(0, stem.size());
    out.number = runValue(name.substr(stem.size(), end - stem.size()));
    out.after = name.substr(end);
    return true;
}

// Distinct texts before the first digit of every name that has one.
std::vector<std::string> cellStems(const Genome& p) {
    std::vector<std::string> stems;
    for (const std::string& name : p.names) {
        size_t digit = name.find_first_of("0123456789");
        if (digit == std::string::npos) continue;
        std::string stem = name.substr(0, digit);
        bool known = std::any_of(stems.begin(), stems.end(),
                                 [&](const std::string& s) { return equalNoCase(s, stem); });
        if (!known) stems.push_back(stem);
    }
    return stems;
}

enum class CellOp { Double, Delete, Commute };

Genome cellOperation(const TrialContext& context, CellOp op) {
    Genome p = tournament(context.pool).genome;
    std::vector<std::string> stems = cellStems(p);
    if (stems.empty() || p.count() == 0) return Genome{};
    const std::string& stem = stems[static_cast<size_t>(randomBelow(std::ssize(stems)))];
    // A random entry of that stem gives the cell. The stem came from an entry,
    // so one exists; a bounded number of draws keeps a fixed draw sequence
    // from looping for ever.
    NumberedName cell;
    bool found = false;
    for (int tries = 0; tries < 10000 && !found; tries++) {
        found = splitAfterStem(p.names[static_cast<size_t>(randomBelow(p.count()))], stem, cell);
    }
    for (size_t i = 0; !found && i < p.names.size(); i++) {
        found = splitAfterStem(p.names[i], stem, cell);
    }
    int64_t c = cell.number;

    int64_t partner = -1;
    if (op == CellOp::Commute) {
        auto hasCell = [&](int64_t k) {
            NumberedName other;
            return std::any_of(p.names.begin(), p.names.end(), [&](const std::string& name) {
                return splitAfterStem(name, stem, other) && other.number == k;
            });
        };
        if (hasCell(c - 1)) {
            partner = c - 1;
        } else if (hasCell(c + 1)) {
            partner = c + 1;
        } else {
            return Genome{};
        }
    }

    Genome g;
    for (int i = 0; i < p.count(); i++) {
        const std::string& name = p.names[static_cast<size_t>(i)];
        int32_t level = p.levels[static_cast<size_t>(i)];
        NumberedName n;
        if (!splitAfterStem(name, stem, n)) {
            genomeSet(g, name, level);
            continue;
        }
        int64_t k = n.number;
        switch (op) {
            case CellOp::Double:
                if (k <= c) genomeSet(g, name, level);
                if (k >= c) genomeSet(g, joinName(n.before, k + 1, n.after), level);
                break;
            case CellOp::Delete:
                if (k < c) genomeSet(g, name, level);
                if (k > c) genomeSet(g, joinName(n.before, k - 1, n.after), level);
                break;
            case CellOp::Commute:
                if (k == c) {
                    genomeSet(g, joinName(n.before, partner, n.after), level);
                } else if (k == partner) {
                    genomeSet(g, joinName(n.before, c, n.after), level);
                } else {
                    genomeSet(g, name, level);
                }
                break;
        }
    }
    return g;
}

}  // namespace

Genome trialTopoSmooth(const TrialContext& context) {
    Genome p = tournament(context.pool).genome;
    double a = uniform(1);
    double b = 1 - a;
    Genome g;
    bool anyNeighbour = false;
    for (int i = p.count() - 1; i >= 0; i--) {
        const std::string& name = p.names[static_cast<size_t>(i)];
        int32_t v = p.levels[static_cast<size_t>(i)];
        double sum = 0;
        int found = 0;
        for (size_t start = 0; start < name.size();) {
            if (!isDigit(name[start])) {
                start++;
                continue;
            }
            size_t end = start;
            while (end < name.size() && isDigit(name[end])) end++;
            int64_t number = runValue(std::string_view(name).substr(start, end - start));
            std::string_view before = std::string_view(name).substr(0, start);
            std::string_view after = std::string_view(name).substr(end);
            for (int64_t neighbour : {number + 1, number - 1}) {
                int32_t level = genomeGet(p, joinName(before, neighbour, after));
                if (level >= 0) {
                    sum += level;
                    found++;
                }
            }
            start = end;
        }
        if (found > 0) {
            anyNeighbour = true;
            genomeSet(g, name, truncLevel(b * v + a * sum / found));
        } else {
            genomeSet(g, name, v);
        }
    }
    return anyNeighbour ? g : Genome{};
}

Genome trialCellDouble(const TrialContext& context) {
    return cellOperation(context, CellOp::Double);
}

Genome trialCellDelete(const TrialContext& context) {
    return cellOperation(context, CellOp::Delete);
}

Genome trialCellCommute(const TrialContext& context) {
    return cellOperation(context, CellOp::Commute);
}
