#pragma once

#include <QString>

#include <optional>
#include <vector>

namespace clipmoor {

struct QueryItem {
    QString name;
    std::optional<QString> value;  // none when the item has no '='
    bool operator==(const QueryItem&) const = default;
};

// A URL reference parsed by the rules of RFC 3986, strictly: text that is not a valid
// reference (a space, a character outside the URL alphabet, a broken %-escape) is no URL.
// Components are kept as written: the host is not lower-cased, nothing is decoded.
class Url {
public:
    static std::optional<Url> parse(const QString& text);

    const QString& absoluteString() const { return text_; }
    const QString& scheme() const { return scheme_; }  // empty for a relative reference
    // The host, when the reference has an authority with a non-empty host.
    std::optional<QString> host() const;
    std::optional<int> port() const { return port_; }
    const QString& path() const { return path_; }  // still percent-encoded
    const std::optional<QString>& query() const { return query_; }
    const std::optional<QString>& fragment() const { return fragment_; }

    // The last segment of the decoded path: "" for an empty path, "/" for the root path, and
    // trailing slashes ignored otherwise.
    QString lastPathComponent() const;
    // The query split on '&', each item at its first '=', names and values decoded.
    std::vector<QueryItem> queryItems() const;

private:
    QString text_;
    QString scheme_;
    std::optional<QString> host_;
    std::optional<int> port_;
    QString path_;
    std::optional<QString> query_;
    std::optional<QString> fragment_;
};

}  // namespace clipmoor
