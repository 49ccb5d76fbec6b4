// Debugging dumps of token lists and trees, one line per node.
#include <utility>

#include "common/text.hpp"
#include "lattice/vesk.hpp"

namespace {

// Newlines are shown as the byte 0xAC so that every node stays on one line;
// long texts keep their start and end.
std::string shownSource(std::string_view source) {
    std::string shown(source);
    for (char& c : shown) {
        if (c == '\n') c = '\xAC';
    }
    if (shown.size() > 50) shown = shown.substr(0, 37) + "..." + shown.substr(shown.size() - 10);
    return shown;
}

}  // namespace

std::string Vesk_dump(const VeskNode& top) {
    const Vesk& env = *top.env;
    std::string out;
    // Trees can be as deep as the file is long; walk them with a stack.
    std::vector<std::pair<const VeskNode*, size_t>> stack{{&top, 0}};
    while (!stack.empty()) {
        auto [node, level] = stack.back();
        stack.pop_back();
        out.append(2 * level, ' ');
        out += Value_kindname(node->value);
        out += ':';
        if (node->index >= 0) {
            auto index = static_cast<size_t>(node->index);
            if (Value_is(node->value, "Opfrag")) {
                if (index < env.fragments.size()) out += env.fragments[index];
            } else if (index < env.ops.size()) {
                out += env.ops[index].s;
            }
            out += ' ';
        }
        if (node->value.kind[0] == 'X') out += "Value=" + Value_print(node->value) + " ";
        out += '\'' + shownSource(VeskNode_source(*node)) + '\'';
        if (!node->children.empty()) out += format(" arity %zu", node->children.size());
        out += '\n';
        for (size_t i = node->children.size(); i-- > 0;) {
            stack.emplace_back(node->children[i].get(), level + 1);
        }
    }
    return out;
}
