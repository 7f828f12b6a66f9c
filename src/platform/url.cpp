#include "platform/url.h"

#include "platform/percent_encoding.h"

#include <QList>

namespace clipmoor {

namespace {

bool isAlpha(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}
bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}
bool isHex(QChar c) {
    return isDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}
bool isUnreserved(QChar c) {
    return isAlpha(c) || isDigit(c) || c == u'-' || c == u'.' || c == u'_' || c == u'~';
}
bool isSubDelim(QChar c) {
    return QStringView(u"!$&'()*+,;=").contains(c);
}
bool isPChar(QChar c) {
    return isUnreserved(c) || isSubDelim(c) || c == u':' || c == u'@';
}

// True when every character of `part` is allowed by `allowed` or is part of a valid %XX.
template <typename Predicate>
bool isValidComponent(QStringView part, Predicate allowed) {
    for (qsizetype i = 0; i < part.size(); ++i) {
        const QChar c = part[i];
        if (c == u'%') {
            if (i + 2 >= part.size() || !isHex(part[i + 1]) || !isHex(part[i + 2])) return false;
            i += 2;
        } else if (!allowed(c)) {
            return false;
        }
    }
    return true;
}

bool isValidPath(QStringView path) {
    return isValidComponent(path, [](QChar c) { return isPChar(c) || c == u'/'; });
}
bool isValidQueryOrFragment(QStringView text) {
    return isValidComponent(text, [](QChar c) { return isPChar(c) || c == u'/' || c == u'?'; });
}

bool isValidIpLiteral(QStringView literal) {
    // "[" ( IPv6address / IPvFuture ) "]"; checked by alphabet, which is enough to reject
    // anything that is not meant as an address literal.
    if (literal.size() < 3 || literal.front() != u'[' || literal.back() != u']') return false;
    const QStringView inner = literal.mid(1, literal.size() - 2);
    if (inner.startsWith(u'v') || inner.startsWith(u'V')) {
        return isValidComponent(
            inner.mid(1), [](QChar c) { return isUnreserved(c) || isSubDelim(c) || c == u':'; });
    }
    for (QChar c : inner)
        if (!isHex(c) && c != u':' && c != u'.') return false;
    return inner.contains(u':');
}

QString decodedOrRaw(QStringView text) {
    return removingPercentEncoding(text).value_or(text.toString());
}

}  // namespace

std::optional<Url> Url::parse(const QString& text) {
    Url url;
    url.text_ = text;
    QStringView rest(text);

    // Fragment and query first: they end the reference.
    if (const qsizetype hash = rest.indexOf(u'#'); hash >= 0) {
        const QStringView fragment = rest.mid(hash + 1);
        if (!isValidQueryOrFragment(fragment)) return std::nullopt;
        url.fragment_ = fragment.toString();
        rest = rest.left(hash);
    }
    if (const qsizetype question = rest.indexOf(u'?'); question >= 0) {
        const QStringView query = rest.mid(question + 1);
        if (!isValidQueryOrFragment(query)) return std::nullopt;
        url.query_ = query.toString();
        rest = rest.left(question);
    }

    // Scheme: letters, digits, "+", "-", "." after a leading letter, then ":".
    const qsizetype colon = rest.indexOf(u':');
    const qsizetype slash = rest.indexOf(u'/');
    if (colon >= 0 && (slash < 0 || colon < slash)) {
        const QStringView scheme = rest.left(colon);
        if (scheme.isEmpty() || !isAlpha(scheme.front())) return std::nullopt;
        for (QChar c : scheme)
            if (!isAlpha(c) && !isDigit(c) && c != u'+' && c != u'-' && c != u'.')
                return std::nullopt;
        url.scheme_ = scheme.toString();
        rest = rest.mid(colon + 1);
    }

    if (rest.startsWith(u"//")) {
        rest = rest.mid(2);
        qsizetype end = rest.indexOf(u'/');
        if (end < 0) end = rest.size();
        QStringView authority = rest.left(end);
        rest = rest.mid(end);

        if (const qsizetype at = authority.lastIndexOf(u'@'); at >= 0) {
            const QStringView userInfo = authority.left(at);
            if (!isValidComponent(userInfo, [](QChar c) {
                    return isUnreserved(c) || isSubDelim(c) || c == u':';
                }))
                return std::nullopt;
            authority = authority.mid(at + 1);
        }
        QStringView host = authority;
        qsizetype portStart = -1;
        if (authority.startsWith(u'[')) {
            const qsizetype close = authority.indexOf(u']');
            if (close < 0) return std::nullopt;
            host = authority.left(close + 1);
            if (!isValidIpLiteral(host)) return std::nullopt;
            if (close + 1 < authority.size()) {
                if (authority[close + 1] != u':') return std::nullopt;
                portStart = close + 2;
            }
        } else {
            if (const qsizetype portColon = authority.lastIndexOf(u':'); portColon >= 0) {
                host = authority.left(portColon);
                portStart = portColon + 1;
            }
            if (!isValidComponent(host, [](QChar c) { return isUnreserved(c) || isSubDelim(c); }))
                return std::nullopt;
        }
        if (portStart >= 0) {
            const QStringView port = authority.mid(portStart);
            for (QChar c : port)
                if (!isDigit(c)) return std::nullopt;
            if (!port.isEmpty()) {
                bool ok = false;
                const int value = port.toInt(&ok);
                if (!ok || value > 65535) return std::nullopt;
                url.port_ = value;
            }
        }
        if (!host.isEmpty()) url.host_ = host.toString();
    }

    if (!isValidPath(rest)) return std::nullopt;
    url.path_ = rest.toString();
    return url;
}

std::optional<QString> Url::host() const {
    return host_;
}

QString Url::lastPathComponent() const {
    QString path = decodedOrRaw(path_);
    if (path.isEmpty() || path == u"/") return path;
    while (path.size() > 1 && path.endsWith(u'/')) path.chop(1);
    return path.mid(path.lastIndexOf(u'/') + 1);
}

std::vector<QueryItem> Url::queryItems() const {
    std::vector<QueryItem> items;
    if (!query_) return items;
    for (QStringView piece : QStringView(*query_).split(u'&')) {
        const qsizetype equals = piece.indexOf(u'=');
        if (equals < 0) {
            items.push_back({decodedOrRaw(piece), std::nullopt});
        } else {
            items.push_back(
                {decodedOrRaw(piece.left(equals)), decodedOrRaw(piece.mid(equals + 1))});
        }
    }
    return items;
}

}  // namespace clipmoor
