// The Vesk environment: delimiters, callback and the variable table.
#include <utility>

#include "common/report.hpp"
#include "common/text.hpp"
#include "lattice/vesk.hpp"

VeskNode::~VeskNode() {
    // Statement lists and joined texts are left-deep chains as long as the
    // file; freeing them recursively could run out of stack.
    std::vector<std::unique_ptr<VeskNode>> pending = std::move(children);
    while (!pending.empty()) {
        std::unique_ptr<VeskNode> node = std::move(pending.back());
        pending.pop_back();
        if (!node) continue;
        for (std::unique_ptr<VeskNode>& child : node->children) pending.push_back(std::move(child));
        node->children.clear();
    }
}

std::unique_ptr<Vesk> Vesk_new() {
    auto env = std::make_unique<Vesk>();
    Vesk_custom_operators(*env);
    return env;
}

void Vesk_setdelimiters(Vesk& env, std::string_view open, std::string_view close, int flags) {
    env.open = open.substr(0, VESK_DELIMLEN - 1);
    env.close = close.substr(0, VESK_DELIMLEN - 1);
    env.flags = flags;
}

void Vesk_setcallback(Vesk& env, VeskTextCallback callback) {
    env.callback = std::move(callback);
}

void Vesk_refuse(Vesk& env, const std::string& message) {
    if (env.stop == 0) report(message);
    env.stop |= 1;
}

namespace {

int32_t appendVariable(Vesk& env, std::string_view name, int depth) {
    if (env.variables.size() >= env.maxVariables && !env.variableLimitReported) {
        env.variableLimitReported = true;
        Vesk_refuse(env, format("[WARNING] Vesk code uses more than %zu variables; run stopped",
                                env.maxVariables));
    }
    auto index = static_cast<int32_t>(env.variables.size());
    env.variables.push_back({Value{}, std::string(name), depth});
    auto [it, added] = env.variableIndex.try_emplace(std::string(name), index);
    if (!added && env.variables[static_cast<size_t>(it->second)].depth <= depth) it->second = index;
    return index;
}

}  // namespace

int32_t Vesk_lookup(Vesk& env, std::string_view name) {
    auto it = env.variableIndex.find(std::string(name));
    if (it != env.variableIndex.end()) return it->second;
    return appendVariable(env, name, env.depth);
}

Value& Vesk_variable(Vesk& env, std::string_view name) {
    return env.variables[static_cast<size_t>(Vesk_lookup(env, name))].value;
}

void Vesk_setvariable(Vesk& env, std::string_view name, const Value& value, int depth) {
    auto it = env.variableIndex.find(std::string(name));
    if (it == env.variableIndex.end()) {
        int32_t index = appendVariable(env, name, depth);
        env.variables[static_cast<size_t>(index)].value = value;
        return;
    }
    VeskVariable& winner = env.variables[static_cast<size_t>(it->second)];
    if (winner.depth == depth) {
        winner.value = value;
        return;
    }
    // Entries of one name at several depths are rare enough for a scan.
    for (size_t i = env.variables.size(); i-- > 0;) {
        if (env.variables[i].depth == depth && env.variables[i].name == name) {
            env.variables[i].value = value;
            return;
        }
    }
    int32_t index = appendVariable(env, name, depth);
    env.variables[static_cast<size_t>(index)].value = value;
}

int Vesk_run(Vesk& env, std::string_view text) {
    env.stop = 0;
    env.loopSteps = 0;
    std::unique_ptr<VeskNode> root = Vesk_parse(env, text);
    Vesk_exec(*root);
    return env.stop;
}
