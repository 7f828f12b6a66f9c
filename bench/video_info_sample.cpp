#include "video_info_sample.h"

#include <QUrl>

namespace clipmoor::bench {

QByteArray makeVideoInfoAnswer(int targetBytes) {
    static const int kItags[] = {22, 18, 36, 140, 137, 43, 5, 17, 136, 135, 134, 133, 160};
    QList<QByteArray> entries;
    int size = 0;
    for (int i = 0; size < targetBytes; ++i) {
        const int itag = kItags[i % std::size(kItags)];
        QByteArray signature;
        for (int k = 0; k < 480; ++k) signature += "0123456789ABCDEF"[(i * 7 + k * 13) % 16];
        QByteArray entry =
            "itag=" + QByteArray::number(itag) + "&quality=hd720&fallback_host=tc.v" +
            QByteArray::number(i) + ".cache.example&type=" +
            QUrl::toPercentEncoding("video/mp4; codecs=\"avc1.64001F, mp4a.40.2\"") + "&url=" +
            QUrl::toPercentEncoding("https://r" + QByteArray::number(i % 20) +
                                    "---sn-example.googlevideo.example/videoplayback?id=o-" +
                                    signature + "&itag=" + QByteArray::number(itag) +
                                    "&source=youtube&requiressl=yes&mime=video%2Fmp4&dur=212.091"
                                    "&lmt=1394275281123511&expire=1700000000&sparams=id%2Cip%2Citag"
                                    "&signature=" +
                                    signature + "." + signature) +
            "&bitrate=" + QByteArray::number(100000 + i) + "&size=1280x720&init=0-" +
            QByteArray::number(600 + i) + "&index=" + QByteArray::number(601 + i) + "-1400";
        entries.append(QUrl::toPercentEncoding(entry));
        size += static_cast<int>(entries.last().size()) + 3;
    }
    const int half = static_cast<int>(entries.size() / 2);
    return "status=ok&title=A+Benchmark+Video+%E2%80%94+Live&author=Someone&length_seconds=212"
           "&url_encoded_fmt_stream_map=" +
           entries.mid(0, half).join("%2C") + "&adaptive_fmts=" + entries.mid(half).join("%2C") +
           "&view_count=123456&thumbnail_url=https%3A%2F%2Fi.ytimg.example%2Fvi%2Fx%2Fdefault.jpg";
}

}  // namespace clipmoor::bench
