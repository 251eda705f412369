// The only translation unit that includes toml++ (it is slow to compile).
#include "ftsplan/case/toml_reader.hpp"

#include "ftsplan/user_error.hpp"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <toml++/toml.h>

namespace ftsplan {

namespace {

std::string place(const std::string& source, const toml::node& n) {
    const auto& b = n.source().begin;
    if (b.line == 0) return source;
    return source + " line " + std::to_string(b.line);
}

Value convert(const toml::node& n, const std::string& key, const std::string& source) {
    if (auto v = n.as_boolean()) return Value::boolean(v->get());
    if (auto v = n.as_integer()) return Value::integer(v->get());
    if (auto v = n.as_floating_point()) return Value::real(v->get());
    if (auto v = n.as_string()) return Value::text(v->get());
    if (auto a = n.as_array()) {
        std::vector<Value> items;
        for (const toml::node& e : *a) {
            if (e.is_table())
                throw UserError(place(source, e) + ": " + key +
                                ": a list of tables is only allowed as sweep.rows");
            items.push_back(convert(e, key, source));
        }
        return Value::list(std::move(items));
    }
    throw UserError(place(source, n) + ": " + key +
                    ": dates and times are not values of a case file");
}

void flatten(const toml::table& t, const std::string& prefix, const std::string& source,
             std::vector<Entry>& out, Document* doc) {
    for (const auto& [k, node] : t) {
        const std::string key =
            prefix.empty() ? std::string(k.str()) : prefix + "." + std::string(k.str());
        if (const toml::table* sub = node.as_table()) {
            flatten(*sub, key, source, out, doc);
            continue;
        }
        if (key == "sweep.rows" && doc) {
            const toml::array* a = node.as_array();
            if (!a || !a->is_array_of_tables())
                throw UserError(place(source, node) +
                                ": sweep.rows must be a list of tables, one per case, for "
                                "example [[sweep.rows]] sections");
            doc->rows_where = place(source, node);
            for (const toml::node& row : *a) {
                std::vector<Entry> entries;
                flatten(*row.as_table(), "", source, entries, nullptr);
                doc->rows.push_back(std::move(entries));
            }
            continue;
        }
        out.push_back({key, convert(node, key, source), place(source, node),
                       static_cast<int>(node.source().begin.line),
                       static_cast<int>(node.source().begin.column)});
    }
}

} // namespace

Document parse_case_text(const std::string& text, const std::string& source) {
    toml::table root;
    try {
        root = toml::parse(text, source);
    } catch (const toml::parse_error& e) {
        const auto& b = e.source().begin;
        throw UserError(source + " line " + std::to_string(b.line) + " column " +
                        std::to_string(b.column) + ": " + std::string(e.description()));
    }
    Document doc;
    doc.source = source;
    flatten(root, "", source, doc.entries, &doc);
    // Keys in the order they were written (toml++ keeps tables sorted by name).
    auto by_line = [](const Entry& a, const Entry& b) {
        return a.line != b.line ? a.line < b.line : a.column < b.column;
    };
    std::stable_sort(doc.entries.begin(), doc.entries.end(), by_line);
    for (auto& row : doc.rows) std::stable_sort(row.begin(), row.end(), by_line);
    return doc;
}

Document read_case_file(const std::filesystem::path& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        throw UserError(path.string() + ": is a directory, not a case file");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw UserError(path.string() + ": cannot read the case file (no such file?)");
    std::ostringstream ss;
    ss << in.rdbuf();
    return parse_case_text(ss.str(), path.string());
}

} // namespace ftsplan
