#include "common/text.hpp"
#include "lattice/parser.hpp"

std::optional<std::vector<std::string>> latticeDataFiles(const std::string& lattice) {
    Genome genome;
    genomeInit(genome);
    CellPtr root = loadlattice(lattice, genome, false, nullptr);
    if (!root) return std::nullopt;
    std::vector<std::string> values;
    for (size_t c = root->children.size(); c-- > 0;) {
        const Cell& child = *root->children[c];
        for (size_t a = child.attributes.size(); a-- > 0;) {
            const CellAttribute& attribute = child.attributes[a];
            if (attribute.kind == AttributeText && startsWithNoCase(attribute.name, "file")) {
                values.push_back(attribute.text);
            }
        }
    }
    return values;
}
