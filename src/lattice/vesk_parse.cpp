// Turning the token list into a tree by repeated reductions with the operator
// table. The engine never reports a syntax error: what cannot be reduced stays
// in the tree as inert tokens.
//
// Every (position, operator) pair starts armed; trying a pair disarms it, and
// a reduction re-arms only the pairs near it. All armed pairs live in one
// BitIndex, numbered in the order in which they are to be tried (operators in
// list order, positions in the operator's direction), so the next pair to try
// is its first member: a few word operations instead of a scan of every
// position for every operator. The parse stays linear in the length of the
// text.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "common/text.hpp"
#include "lattice/bitindex.hpp"
#include "lattice/vesk.hpp"
#include "platform/files.hpp"

namespace {

bool allBlank(std::string_view text) {
    for (char c : text) {
        if (!isBlank(c)) return false;
    }
    return true;
}

bool kindMatches(const Value& v, const std::string& placeholder) {
    return placeholder.size() < VESK_KINDLEN &&
           std::memcmp(v.kind, placeholder.data(), placeholder.size()) == 0;
}

bool kindEndsInDigit(const Value& v) {
    std::string_view kind = Value_kindname(v);
    return !kind.empty() && kind.back() >= '0' && kind.back() <= '9';
}

class Reducer {
  public:
    Reducer(Vesk& env, std::vector<std::unique_ptr<VeskNode>>& tokens) : env_(env) {
        compileOperators();
        auto n = static_cast<int32_t>(tokens.size());
        slot_ = std::move(tokens);
        size_t count = slot_.size();
        next_.resize(count);
        prev_.resize(count);
        blank_.resize(count);
        fragment_.resize(count);
        kinds_.resize(count);
        for (int32_t i = 0; i < n; i++) {
            auto u = static_cast<size_t>(i);
            const VeskNode& t = *slot_[u];
            next_[u] = i + 1 < n ? i + 1 : -1;
            prev_[u] = i - 1;
            blank_[u] = Value_is(t.value, "Text") && allBlank(VeskNode_source(t));
            fragment_[u] = Value_is(t.value, "Opfrag") ? t.index : -1;
            kinds_[u] = kindBits(t.value);
        }
        head_ = n > 0 ? 0 : -1;
        armInitially(static_cast<uint32_t>(n));
    }

    // After a reduction the search starts again from the first operator;
    // after a failed try it goes on with the next pair. Both are simply the
    // first armed pair in trying order.
    void run() {
        while (!armed_.empty()) {
            uint32_t key = armed_.first();
            armed_.clear(key);
            size_t k = key >> shift_;
            int32_t p = positionOf(k, key & (stride_ - 1));
            if (!slot_[static_cast<size_t>(p)]) continue;
            int32_t e = -1;
            if (match(ops_[k], p, e, children_.data()) && !vetoed(k, p, e)) reduce(k, p, e);
        }
    }

    // The surviving tokens, in order.
    void collect(std::vector<std::unique_ptr<VeskNode>>& out) {
        out.clear();
        for (int32_t i = head_; i != -1; i = next_[static_cast<size_t>(i)]) {
            out.push_back(std::move(slot_[static_cast<size_t>(i)]));
        }
    }

  private:
    // A pattern part in the form the inner loops want. Placeholders are
    // tested through a bit per distinct placeholder text, kept per token,
    // instead of comparing kind texts of nodes spread over the heap.
    struct Part {
        bool placeholder;
        bool spaced;
        int bit;           // placeholder: its bit in kinds_, or -1 past the 64th
        int32_t fragment;  // fragment: its index
        const std::string* text;
    };
    struct Op {
        std::vector<Part> parts;
        int nparts;
        int arity;
        bool fromRight;
        bool startsAnywhere;  // first part not testable from the token alone
    };

    void compileOperators() {
        for (const VeskOp& op : env_.ops) {
            Op c{{}, op.nparts, op.arity, (op.prec & 1) != 0, false};
            for (const VeskPart& part : op.parts) {
                int bit = -1;
                if (part.placeholder) {
                    auto found = std::find(placeholders_.begin(), placeholders_.end(), part.text);
                    bit = static_cast<int>(found - placeholders_.begin());
                    if (found == placeholders_.end()) placeholders_.push_back(part.text);
                    if (bit >= 64) bit = -1;
                }
                c.parts.push_back({part.placeholder, part.spaced, bit, part.fragment, &part.text});
            }
            const Part& first = c.parts.front();
            c.startsAnywhere = first.spaced || (first.placeholder && first.bit < 0);
            maxParts_ = std::max(maxParts_, op.nparts);
            ops_.push_back(std::move(c));
        }
        // Which operators may start at a token, by what the token is.
        byBit_.resize(64);
        byFragment_.resize(env_.fragments.size());
        for (size_t k = 0; k < ops_.size(); k++) {
            const Part& first = ops_[k].parts.front();
            if (ops_[k].startsAnywhere) {
                anywhere_.push_back(k);
            } else if (first.placeholder) {
                byBit_[static_cast<size_t>(first.bit)].push_back(k);
            } else {
                byFragment_[static_cast<size_t>(first.fragment)].push_back(k);
            }
        }
    }

    // Calls f(k) for every operator k from `from` on that may start at
    // position i, latest first; f returns true to stop. Pairs of a position
    // and an operator that cannot start there are never armed: trying them
    // would only disarm them again.
    template <class F>
    bool forStarters(int32_t i, size_t from, F f) const {
        auto u = static_cast<size_t>(i);
        auto walk = [&](const std::vector<size_t>& list) {
            for (auto k = list.rbegin(); k != list.rend() && *k >= from; ++k) {
                if (f(*k)) return true;
            }
            return false;
        };
        if (walk(anywhere_)) return true;
        if (fragment_[u] >= 0 && walk(byFragment_[static_cast<size_t>(fragment_[u])])) return true;
        for (uint64_t bits = kinds_[u]; bits; bits &= bits - 1) {
            if (walk(byBit_[static_cast<size_t>(std::countr_zero(bits))])) return true;
        }
        return false;
    }

    // p, then the non-blank positions before it: the neighbourhood in which
    // the veto looks and in which a reduction re-arms.
    void collectBack(int32_t p, std::vector<int32_t>& back) const {
        back.clear();
        for (int32_t i = p; i != -1 && static_cast<int>(back.size()) < maxParts_ + 1;
             i = prev_[static_cast<size_t>(i)]) {
            if (i == p || !blank_[static_cast<size_t>(i)]) back.push_back(i);
        }
    }

    uint64_t kindBits(const Value& v) const {
        uint64_t bits = 0;
        for (size_t j = 0; j < placeholders_.size() && j < 64; j++) {
            if (kindMatches(v, placeholders_[j])) bits |= uint64_t(1) << j;
        }
        return bits;
    }

    bool partMatches(const Part& part, size_t i) const {
        if (!part.placeholder) return fragment_[i] == part.fragment;
        if (part.bit >= 0) return (kinds_[i] >> part.bit) & 1;
        return kindMatches(slot_[i]->value, *part.text);
    }

    // Operators that associate from the right take their positions from the
    // last to the first.
    uint32_t keyOf(size_t k, int32_t p) const {
        auto i = static_cast<uint32_t>(p);
        return (static_cast<uint32_t>(k) << shift_) + (ops_[k].fromRight ? count_ - 1 - i : i);
    }
    int32_t positionOf(size_t k, uint32_t i) const {
        return static_cast<int32_t>(ops_[k].fromRight ? count_ - 1 - i : i);
    }
    void arm(size_t k, int32_t p) { armed_.set(keyOf(k, p)); }

    void armInitially(uint32_t n) {
        count_ = n;
        while ((uint64_t(1) << shift_) < n) shift_++;
        stride_ = uint32_t(1) << shift_;
        armed_.reset(static_cast<uint32_t>(ops_.size()) << shift_);
        for (uint32_t i = 0; i < n; i++) {
            auto p = static_cast<int32_t>(i);
            forStarters(p, 0, [&](size_t k) {
                armed_.setBottom(keyOf(k, p));
                return false;
            });
        }
        armed_.rebuildSummaries();
    }

    bool match(const Op& op, int32_t p, int32_t& end, int32_t* children) const {
        int32_t i = p, last = -1;
        int n = 0;
        for (const Part& part : op.parts) {
            if (part.spaced) {
                while (i != -1 && blank_[static_cast<size_t>(i)]) i = next_[static_cast<size_t>(i)];
            }
            if (i == -1 || !partMatches(part, static_cast<size_t>(i))) return false;
            if (part.placeholder && children) children[n++] = i;
            last = i;
            i = next_[static_cast<size_t>(i)];
        }
        end = last;
        return true;
    }

    // A reduction is held back while an operator later in the list could take
    // a strictly larger stretch that contains it: in a -b, the negation -b
    // gives way to the subtraction that starts at a.
    bool vetoed(size_t k, int32_t p, int32_t e) {
        collectBack(p, window_);
        for (size_t j = 0; j < window_.size(); j++) {
            int32_t i = window_[j];
            bool veto = forStarters(i, k + 1, [&](size_t b) {
                if (static_cast<int>(j) >= ops_[b].nparts) return false;
                int32_t e2 = -1;
                return match(ops_[b], i, e2, nullptr) && (e2 > e || (e2 >= e && i < p));
            });
            if (veto) return true;
        }
        return false;
    }

    void unlink(int32_t i) {
        int32_t before = prev_[static_cast<size_t>(i)], after = next_[static_cast<size_t>(i)];
        if (before != -1)
            next_[static_cast<size_t>(before)] = after;
        else
            head_ = after;
        if (after != -1) prev_[static_cast<size_t>(after)] = before;
        slot_[static_cast<size_t>(i)].reset();
    }

    void reduce(size_t k, int32_t p, int32_t e) {
        const VeskOp& op = env_.ops[k];
        int32_t after = next_[static_cast<size_t>(e)];
        if (op.out.empty()) {
            int32_t before = prev_[static_cast<size_t>(p)];
            for (int32_t i = p; i != after;) {
                int32_t following = next_[static_cast<size_t>(i)];
                unlink(i);
                i = following;
            }
            // The token that now stands where the deleted ones stood.
            if (after != -1)
                rearm(after);
            else if (before != -1)
                rearm(before);
            return;
        }

        auto node = std::make_unique<VeskNode>();
        node->env = &env_;
        node->start = slot_[static_cast<size_t>(p)]->start;
        node->end = slot_[static_cast<size_t>(e)]->end;
        node->index = static_cast<int32_t>(k);
        node->value = Value_kind(op.out);
        for (int c = 0; c < op.arity; c++) {
            std::unique_ptr<VeskNode> child = std::move(slot_[static_cast<size_t>(children_[c])]);
            // Heads such as For1 hand their children over to the statement.
            if (kindEndsInDigit(child->value)) {
                for (auto& grandchild : child->children)
                    node->children.push_back(std::move(grandchild));
                child->children.clear();
            } else {
                node->children.push_back(std::move(child));
            }
        }
        for (int32_t i = next_[static_cast<size_t>(p)]; i != after;) {
            int32_t following = next_[static_cast<size_t>(i)];
            unlink(i);
            i = following;
        }
        auto u = static_cast<size_t>(p);
        kinds_[u] = kindBits(node->value);
        slot_[u] = std::move(node);
        blank_[u] = 0;
        fragment_[u] = -1;
        rearm(p);
    }

    // Every operator may be tried again at p and at as many non-blank
    // positions before it as it has parts, plus one.
    void rearm(int32_t p) {
        collectBack(p, window_);
        for (size_t j = 0; j < window_.size(); j++) {
            int32_t i = window_[j];
            forStarters(i, 0, [&](size_t k) {
                if (static_cast<int>(j) <= ops_[k].nparts) arm(k, i);
                return false;
            });
        }
    }

    Vesk& env_;
    std::vector<Op> ops_;
    std::vector<std::string> placeholders_;        // distinct placeholder texts
    std::vector<std::unique_ptr<VeskNode>> slot_;  // empty once reduced away
    std::vector<int32_t> next_, prev_;             // the surviving tokens, as a list
    std::vector<uint8_t> blank_;                   // white-space-only text tokens
    std::vector<int32_t> fragment_;                // fragment index of "Opfrag" tokens, else -1
    std::vector<uint64_t> kinds_;                  // placeholders that accept the token
    BitIndex armed_;                               // armed pairs, by keyOf
    uint32_t count_ = 0;                           // positions
    uint32_t shift_ = 0, stride_ = 1;              // keys of one operator: a power of two
    std::vector<int32_t> window_;
    std::vector<std::vector<size_t>> byBit_, byFragment_;
    std::vector<size_t> anywhere_;
    std::array<int32_t, VESK_OPLEN> children_{};
    int32_t head_ = -1;
    int maxParts_ = 0;
};

}  // namespace

std::unique_ptr<VeskNode> Vesk_parse(Vesk& env, std::string_view text) {
    if (text.size() > kVeskMaxText) {
        Vesk_refuse(env,
                    format("[WARNING] Vesk code of %zu bytes is larger than %zu; it is not run",
                           text.size(), kVeskMaxText));
        return Vesk_tokenize(env, "");
    }
    std::unique_ptr<VeskNode> root = Vesk_tokenize(env, text);
    // The armed pairs are numbered with 32 bits, a power of two per operator.
    if (std::bit_ceil(static_cast<uint64_t>(root->children.size())) * env.ops.size() > UINT32_MAX) {
        Vesk_refuse(env,
                    "[WARNING] Vesk code has too many tokens for its operators; it is not run");
        root->children.clear();
    }
    if (env.dumps) writeFileAtomic("vesktokenout.log", Vesk_dump(*root));

    Reducer reducer(env, root->children);
    reducer.run();
    reducer.collect(root->children);

    if (env.dumps) writeFileAtomic("vesktreeout.log", Vesk_dump(*root));
    return root;
}
