#include "server/pages.hpp"

#include <mutex>
#include <vector>

#include "common/text.hpp"
#include "lattice/lattice_parameters.hpp"
#include "lattice/parser.hpp"
#include "model/genome.hpp"
#include "server/project.hpp"
#include "store/latticedir.hpp"

namespace {

const char* const kStyle =
    "body{font-family:sans-serif;margin:2em;max-width:70em}"
    "table{border-collapse:collapse;margin:1em 0}"
    "td,th{border:1px solid #bbb;padding:.25em .6em;text-align:left}"
    "th{background:#eee}td.num{text-align:right}code{font-size:.85em}";

std::string pageStart(const std::string& title) {
    return "<!DOCTYPE html>\n<html lang='en'><head><meta charset='utf-8'><title>" +
           htmlEscape(title) + "</title><style>" + kStyle + "</style></head><body>\n";
}

const char* const kPageEnd = "</body></html>\n";

std::string contributorsTable(ProjectDb& db, const std::optional<std::string>& lattice) {
    Stmt s = dbPrepare(db, lattice ? "SELECT u.user, COUNT(*), MAX(r.score) FROM results r "
                                     "JOIN uploads u ON u.id = r.upload WHERE r.lattice = ? "
                                     "GROUP BY u.user ORDER BY COUNT(*) DESC, u.user LIMIT 10"
                                   : "SELECT u.user, COUNT(*), MAX(r.score) FROM results r "
                                     "JOIN uploads u ON u.id = r.upload "
                                     "GROUP BY u.user ORDER BY COUNT(*) DESC, u.user LIMIT 10");
    if (!s) return "";
    if (lattice) dbBind(s.get(), 1, *lattice);
    std::string html =
        "<table id='contributors'><tr><th>Contributor</th><th>Results</th><th>Best "
        "score</th></tr>\n";
    while (dbStep(s.get())) {
        html += format("<tr><td>%s</td><td class='num'>%lld</td><td class='num'>%.6f</td></tr>\n",
                       htmlEscape(dbText(s.get(), 0)).c_str(),
                       static_cast<long long>(dbInt(s.get(), 1)), dbDouble(s.get(), 2));
    }
    return html + "</table>\n";
}

// Numbers for the chart script; JSON arrays of [x, y] points.
std::string pointsJson(const std::vector<std::pair<double, double>>& points) {
    std::string json = "[";
    for (size_t i = 0; i < points.size(); i++) {
        json +=
            format("%s{\"x\":%.4f,\"y\":%.6f}", i ? "," : "", points[i].first, points[i].second);
    }
    return json + "]";
}

// A genome as its lattice's author reads it: each parameter's value in the
// unit the lattice file gives it. The file is interpreted with the genome,
// as a run would (its code may declare parameters by the genome's values).
// Levels when the file no longer declares the genome's parameters.
std::string genomeParameters(const std::string& lattice, const std::string& latticeText,
                             const Genome& genome) {
    std::optional<std::vector<LatticeParameter>> parameters =
        latticeText.empty() ? std::nullopt : latticeParameters(latticeText, lattice, genome);
    std::string shown = parameters ? genomeInUnits(genome, *parameters) : "";
    if (!shown.empty()) return shown;
    Genome sorted = genome;
    genomeSortByName(sorted);
    for (size_t i = 0; i < sorted.names.size(); i++) {
        shown += format("%s%s=%d", i ? " " : "", sorted.names[i].c_str(), sorted.levels[i]);
    }
    return shown;
}

}  // namespace

std::string htmlEscape(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string renderIndexPage(ProjectDb& db) {
    std::lock_guard<std::mutex> guard(db.lock);
    std::string html = pageStart("Pelto project");
    html += "<h1>Pelto project</h1>\n";
    std::string signal = signalText();
    if (!signal.empty()) html += "<p id='signal'>" + htmlEscape(signal) + "</p>\n";
    html +=
        "<h2>Lattices</h2>\n<table id='lattices'><tr><th>Lattice</th><th>Results</th>"
        "<th>Best score</th><th>Contributors</th></tr>\n";
    Stmt s = dbPrepare(db,
                       "SELECT COUNT(*), MAX(r.score), COUNT(DISTINCT u.user) FROM results r "
                       "JOIN uploads u ON u.id = r.upload WHERE r.lattice = ?");
    for (const std::string& lattice : projectLattices()) {
        if (!s) break;
        dbResetStmt(s.get());
        dbBind(s.get(), 1, lattice);
        int64_t count = 0, contributors = 0;
        std::string best = "&ndash;";
        if (dbStep(s.get())) {
            count = dbInt(s.get(), 0);
            contributors = dbInt(s.get(), 2);
            if (count > 0) best = format("%.6f", dbDouble(s.get(), 1));
        }
        std::string name = htmlEscape(lattice);
        html += format(
            "<tr class='lattice'><td><a href='/pelto/lattice/%s'>%s</a></td><td "
            "class='num'>%lld</td><td class='num best'>%s</td><td class='num'>%lld</td></tr>\n",
            name.c_str(), name.c_str(), static_cast<long long>(count), best.c_str(),
            static_cast<long long>(contributors));
    }
    html += "</table>\n<h2>Top contributors</h2>\n" + contributorsTable(db, std::nullopt);
    return html + kPageEnd;
}

std::optional<std::string> renderLatticePage(ProjectDb& db, std::string_view name) {
    std::optional<std::string> lattice = servedLattice(name);
    if (!lattice) return std::nullopt;
    std::lock_guard<std::mutex> guard(db.lock);
    std::string title = "Lattice " + *lattice;
    std::string html = pageStart(title);
    html += "<p><a href='/pelto/'>All lattices</a></p>\n<h1>" + htmlEscape(title) + "</h1>\n";

    // Every result's score against the hours since the first one, and the
    // best so far as a line over the same axis.
    std::vector<std::pair<double, double>> all, best;
    Stmt s = dbPrepare(db, "SELECT received, score FROM results WHERE lattice = ? ORDER BY id");
    if (s) {
        dbBind(s.get(), 1, *lattice);
        int64_t first = -1;
        double top = 0;
        while (dbStep(s.get())) {
            int64_t when = dbInt(s.get(), 0);
            if (first < 0) first = when;
            double x = static_cast<double>(when - first) / 3600.0;
            double y = dbDouble(s.get(), 1);
            all.emplace_back(x, y);
            if (best.empty() || y > top) {
                top = y;
                best.emplace_back(x, y);
            }
        }
        if (!best.empty()) best.emplace_back(all.back().first, top);
    }
    html += format("<p id='count'>%zu results.</p>\n", all.size());
    html +=
        "<div style='max-width:60em'><canvas id='scores'></canvas></div>\n"
        "<script src='/pelto/chart.js'></script>\n<script>\n"
        "new Chart(document.getElementById('scores'), {type: 'scatter', data: {datasets: [\n"
        "{label: 'Result', data: " +
        pointsJson(all) +
        ", pointRadius: 2},\n{label: 'Best so far', type: 'line', stepped: true, data: " +
        pointsJson(best) +
        ", pointRadius: 0}]},\noptions: {animation: false, scales: {x: {title: {display: "
        "true, text: 'hours since the first result'}}, y: {title: {display: true, text: "
        "'score'}}}}});\n</script>\n";

    html +=
        "<h2>Best genomes</h2>\n<p>Each parameter in the unit its range has in the lattice "
        "file.</p>\n<table id='best'><tr><th>Score</th><th>Rechecked</th>"
        "<th>Contributor</th><th>Parameters</th></tr>\n";
    std::string latticeText;
    if (readLatticeFile(findFileNoCase(latticeFilePath(*lattice)), latticeText) != ReadStatus::Ok) {
        latticeText.clear();
    }
    Stmt b = dbPrepare(db,
                       "SELECT r.score, r.rechecked, u.user, r.genome_line FROM results r JOIN "
                       "uploads u ON u.id = r.upload WHERE r.lattice = ? "
                       "ORDER BY r.rechecked DESC, r.score DESC, r.id LIMIT 10");
    if (b) {
        dbBind(b.get(), 1, *lattice);
        while (dbStep(b.get())) {
            Genome g = genomeFromText(dbText(b.get(), 3), false);
            std::string params = genomeParameters(*lattice, latticeText, g);
            html += format(
                "<tr class='genome'><td class='num'>%.6f</td><td>%s</td><td>%s</td>"
                "<td><code>%s</code></td></tr>\n",
                dbDouble(b.get(), 0), dbInt(b.get(), 1) ? "yes" : "no",
                htmlEscape(dbText(b.get(), 2)).c_str(), htmlEscape(params).c_str());
        }
    }
    html += "</table>\n<h2>Top contributors</h2>\n" + contributorsTable(db, *lattice);
    return html + kPageEnd;
}
