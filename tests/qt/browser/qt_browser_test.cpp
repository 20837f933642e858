#include "platform/linux/qt/qt_browser.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "loopback_http_server.h"
#include "platform/linux/qt/qt_text.h"

namespace kx {
namespace {

using test::HttpRequest;
using test::LoopbackHttpServer;


// The demo service's frame relay, as its frame pages carry it.
constexpr char kRelayScript[] = R"JS(
(function () {
  function commandOf(el) {
    while (el && el.nodeType === 1) {
      if (el.getAttribute('KXCommand') !== null) return el;
      el = el.parentNode;
    }
    return null;
  }
  function relay(e) {
    var el = commandOf(e.target), top;
    if (!el || window.parent === window) return;
    try { top = window.parent.document; } catch (x) { return; }
    var button = top.getElementById('kxrelay'), box = top.getElementById('kxrelayparams');
    if (!button || !box) return;
    button.setAttribute('KXCommand', el.getAttribute('KXCommand'));
    var id = el.getAttribute('KXParams'), src = id ? document.getElementById(id) : null;
    if (src) {
      box.textContent = src.textContent;
      button.setAttribute('KXParams', 'kxrelayparams');
    } else {
      button.removeAttribute('KXParams');
    }
    button.focus();
    button.click();
  }
  document.addEventListener('click', relay, false);
})();
)JS";

// The top page replaces prompt() in its own world: a report must never
// reach it.
const QByteArray kTopPage =
    "<!DOCTYPE html><html><head>"
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">"
    "<script>window.prompt = function (m) { window.leaked = (window.leaked || '') + m; return '1'; "
    "};"
    "</script></head>\n"
    "<body KXOnLoad=\"Welcome\" KXParams=\"kxp0\" class=\"window\">\n"
    "<button type=\"button\" id=\"cmd\" KXCommand=\"PlayGame\" KXParams=\"kxp1\" Title=\"Caf\xe9\""
    " style=\"position:absolute;left:20px;top:20px;width:200px;height:40px\">"
    "<b id=\"label\">Play</b> now</button>\n"
    "<button type=\"button\" id=\"shown\" KXCommand=\"Show\" KXParams=\"visible\">Shown</button>\n"
    "<button type=\"button\" id=\"byname\" KXCommand=\"ByName\" KXParams=\"field\">By "
    "name</button>\n"
    "<button type=\"button\" id=\"missing\" KXCommand=\"Missing\" "
    "KXParams=\"nowhere\">Missing</button>\n"
    "<button type=\"button\" id=\"tip\" KXCommand=\"TIP\" KXParams=\"tipparams\">Tip</button>\n"
    "<button type=\"button\" id=\"blocks\" KXCommand=\"Select\" KXParams=\"game\">Game</button>\n"
    "<button type=\"button\" id=\"nested\" KXCommand=\"Nested\" KXParams=\"inner\">In</button>\n"
    "<div id=\"tipparams\" style=\"display:none\">TIPNAME=news<br>URL=http://tips.example/n?a=1</div>\n"
    "<div id=\"game\" style=\"display:none\"><div>GAMENAME=Word Maze</div><div>CLIENTID=12</div></div>\n"
    "<div style=\"display:none\"><span id=\"inner\">A=1<br>B=2</span></div>\n"
    "<div id=\"plain\">plain</div>\n"
    "<div id=\"visible\">line1<br>line2</div>\n"
    "<textarea name=\"field\" style=\"display:none\">t1\r\nt2</textarea>\n"
    "<pre id=\"kxp0\" style=\"display:none\">first=1\r\nsecond=2</pre>\n"
    "<pre id=\"kxp1\" "
    "style=\"display:none\">game=chess\r\nroom=2\nseat=3\rname=J\xe9r\xf4me</pre>\n"
    "<iframe name=\"maintable\" src=\"/frame\" style=\"position:absolute;left:300px;top:0;"
    "width:400px;height:300px\"></iframe>\n"
    "<button type=\"button\" id=\"kxrelay\" tabindex=\"-1\"></button>"
    "<pre id=\"kxrelayparams\" style=\"display:none\"></pre>\n"
    "</body></html>\n";

const QByteArray kFramePage =
    "<!DOCTYPE html><html><head>"
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\"></head>\n"
    "<body class=\"frame\">\n"
    "<button type=\"button\" id=\"fcmd\" KXCommand=\"FrameCmd\" KXParams=\"fp\">Go</button>\n"
    "<button type=\"button\" id=\"fplain\">Nothing</button>\n"
    "<pre id=\"fp\" style=\"display:none\">x=1\r\ny=2</pre>\n"
    "<script>" +
    QByteArray(kRelayScript) +
    "</script>\n"
    "</body></html>\n";

// Links whose default action is to load /target; the page counts its own
// click handlers' calls.
const QByteArray kLinksPage =
    "<!DOCTYPE html><html><head></head><body>"
    "<a id=\"link\" href=\"/target\">plain link</a>\n"
    "<a id=\"cmdlink\" href=\"/target\" KXCommand=\"Go\">command link</a>\n"
    "<script>window.seen = 0; document.getElementById('cmdlink').addEventListener('click',"
    " function () { window.seen++; });</script>"
    "</body></html>\n";

const QByteArray kPlainPage =
    "<!DOCTYPE html><html><head></head><body id=\"plainbody\">plain</body></html>\n";

// A page that asks the player something with the console's own channel,
// without knowing its secret.
const QByteArray kForgingPage =
    "<!DOCTYPE html><html><head></head><body>"
    "<button type=\"button\" id=\"forge\" onclick=\"setTimeout(function () { window.answer = "
    "prompt('0123456789abcdef0123456789abcdef', JSON.stringify({kind: 'click', top: true, "
    "doc: 'x', url: location.href, element: [['kxcommand', 'Forged']], named: null})); }, 0);"
    " setTimeout(function () { prompt('x', JSON.stringify({kind: 'load', top: true, doc: 'y', "
    "url: 'http://forged/', element: null, named: null})); }, 0);\">Forge</button>"
    "</body></html>\n";

bool WaitFor(const std::function<bool()>& done, int timeout_ms = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeout_ms) return false;
        QTest::qWait(5);
    }
    return true;
}

// The script's result, or an invalid QVariant after a timeout; a late
// answer finds its state still there.
QVariant RunJs(QWebEnginePage* page, const QString& code, int timeout_ms = 5000) {
    struct State {
        QVariant result;
        bool done = false;
    };
    const auto state = std::make_shared<State>();
    page->runJavaScript(code, [state](const QVariant& value) {
        state->result = value;
        state->done = true;
    });
    WaitFor([&] { return state->done; }, timeout_ms);
    return state->result;
}

// Whether the engine still runs scripts: it cannot while a synchronous call
// of the page waits for the embedder to return.
bool EngineAnswers(QWebEnginePage* page) { return RunJs(page, "6*7", 1500).toInt() == 42; }

struct EventRecord {
    enum class Kind { BeforeNavigate2, DocumentComplete };
    Kind kind;
    BrowserIdentity frame;
    std::string url;
    bool engine_answered;
};

class RecordingEvents final : public BrowserEvents {
public:
    std::function<bool()> probe;  // run inside each DocumentComplete
    std::vector<EventRecord> events;

    void BeforeNavigate2(BrowserIdentity frame, std::u16string_view url) override {
        events.push_back({EventRecord::Kind::BeforeNavigate2, frame, Ansi(url), true});
    }
    void DocumentComplete(BrowserIdentity frame, std::u16string_view url) override {
        // Recorded first: events that come during the probe's wait come after it.
        events.push_back({EventRecord::Kind::DocumentComplete, frame, Ansi(url), true});
        const std::size_t index = events.size() - 1;
        if (probe) events[index].engine_answered = probe();
    }

    bool Completed(BrowserIdentity frame, const std::string& url) const {
        return std::any_of(events.begin(), events.end(), [&](const EventRecord& e) {
            return e.kind == EventRecord::Kind::DocumentComplete && e.frame == frame &&
                   e.url == url;
        });
    }
    std::vector<EventRecord> Completions() const {
        std::vector<EventRecord> found;
        for (const auto& e : events) {
            if (e.kind == EventRecord::Kind::DocumentComplete) found.push_back(e);
        }
        return found;
    }

private:
    static std::string Ansi(std::u16string_view url) { return QStringToAnsi(WideToQString(url)); }
};

// What the console reads on a click, taken while the click is handled.
struct ClickRecord {
    bool engine_answered = false;
    std::optional<std::u16string> command;
    std::optional<std::u16string> command_upper;
    std::optional<std::u16string> title;
    std::optional<std::u16string> params_name;
    bool params_found = false;
    std::u16string params_text;
    std::u16string url;
};

class RecordingSink final : public DocumentEvents {
public:
    // Reads the document it was given, as the console reads the one it keeps.
    RecordingSink(std::shared_ptr<Document> document, QWebEnginePage* page)
        : document_(std::move(document)), page_(page) {}

    std::vector<ClickRecord> clicks;
    bool probe = false;
    bool answer = true;  // the click event's result

    bool OnClick() override {
        ClickRecord record;
        record.engine_answered = probe ? EngineAnswers(page_) : true;
        const std::shared_ptr<Document> document = document_;
        std::shared_ptr<Element> element;
        if (!Failed(document->GetActiveElement(element)) && element) {
            document->GetUrl(record.url);
            element->GetAttribute(u"kxcommand", kAttributeAsString, record.command);
            element->GetAttribute(u"KXCOMMAND", kAttributeAsString, record.command_upper);
            element->GetAttribute(u"title", kAttributeAsString, record.title);
            element->GetAttribute(u"KXParams", kAttributeAsString, record.params_name);
            std::shared_ptr<ElementCollection> all;
            std::shared_ptr<Element> named;
            if (record.params_name && !Failed(document->GetAll(all)) && all &&
                !Failed(all->Item(*record.params_name, 0, named)) && named) {
                record.params_found = true;
                named->GetInnerText(record.params_text);
            }
        }
        clicks.push_back(record);
        return answer;
    }

private:
    std::shared_ptr<Document> document_;
    QWebEnginePage* page_;
};

class QtBrowserTest : public ::testing::Test {
protected:
    void SetUp() override {
        server_.Serve("/top", kTopPage);
        server_.Serve("/frame", kFramePage);
        server_.Serve("/plain", kPlainPage);
        server_.Serve("/links", kLinksPage);
        server_.Serve("/target", kPlainPage);
        server_.Serve("/forge", kForgingPage);
        host_.resize(820, 600);
        browser_ = std::make_unique<QtBrowser>(&host_);
        browser_->Widget()->setGeometry(0, 0, 800, 545);
        host_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&host_));
        ASSERT_EQ(browser_->AdviseEvents(events_), 0);
    }

    QWebEnginePage* Page() { return qobject_cast<QWebEngineView*>(browser_->Widget())->page(); }
    std::string Url(const char* path) { return server_.Url(path).toStdString(); }

    // Loads the top page and waits until the console could read it.
    void LoadTop() {
        ASSERT_EQ(browser_->Navigate(Url("/top")), 0);
        ASSERT_TRUE(WaitFor([&] { return events_.Completed(browser_->Identity(), Url("/top")); }));
    }

    HResult Post(const std::string& url, std::int32_t flags, std::optional<std::string_view> frame,
                 const std::string& body, const std::string& headers) {
        const std::unique_ptr<PostData> data = browser_->CreatePostData(body.size());
        std::span<std::uint8_t> bytes;
        EXPECT_EQ(data->AccessData(bytes), 0);
        EXPECT_EQ(bytes.size(), body.size());
        std::transform(body.begin(), body.end(), bytes.begin(),
                       [](char c) { return static_cast<std::uint8_t>(c); });
        data->UnaccessData();
        return browser_->Navigate2(url, flags, frame, *data, headers);
    }

    // Clicks through the page's own script and lets the event loop turn.
    void ClickById(const QString& script_target) {
        ASSERT_TRUE(RunJs(Page(), script_target + ".click(); true").toBool());
        QTest::qWait(150);
    }

    LoopbackHttpServer server_;
    QWidget host_;
    RecordingEvents events_;
    std::unique_ptr<QtBrowser> browser_;
};

// Decodes the form the engine sent, independently of the browser's decoder.
std::vector<std::pair<QString, QString>> DecodeReceived(const QByteArray& body) {
    std::vector<std::pair<QString, QString>> fields;
    for (const QByteArray& field : body.split('&')) {
        const qsizetype equals = field.indexOf('=');
        auto decode = [](QByteArray part) {
            return AnsiToQString(
                QByteArray::fromPercentEncoding(part.replace('+', ' ')).toStdString());
        };
        fields.emplace_back(decode(field.left(equals)),
                            equals < 0 ? QString() : decode(field.mid(equals + 1)));
    }
    return fields;
}

TEST_F(QtBrowserTest, WholeWindowLoadsSendTheExactBytesAndHeaders) {
    struct Case {
        const char* path;
        std::string body;
        std::string headers;
        QByteArray method;
        QByteArray content_type;
    };
    const Case cases[] = {
        {"/target?a=1", std::string("user=J%E9r%F4me&raw=caf\xe9 &+%2B=\r\nline\0two", 40),
         "Content-Type: application/x-www-form-urlencoded\r\nX-Kx-Test: yes\r\n", "POST",
         "application/x-www-form-urlencoded"},
        {"/target?b=2", "", "X-Kx-Test: yes\r\n", "GET", ""},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(Post(Url(c.path), 0, std::nullopt, c.body, c.headers), 0);
        ASSERT_TRUE(WaitFor([&] { return events_.Completed(browser_->Identity(), Url(c.path)); }))
            << c.path;
        const auto requests = server_.RequestsTo(c.path);
        ASSERT_EQ(requests.size(), 1u) << c.path;
        EXPECT_EQ(requests[0].method, c.method);
        EXPECT_EQ(requests[0].body,
                  QByteArray(c.body.data(), static_cast<qsizetype>(c.body.size())));
        EXPECT_EQ(requests[0].Header("Content-Type"), c.content_type);
        EXPECT_EQ(requests[0].Header("X-Kx-Test"), "yes");
    }

    ASSERT_EQ(browser_->Navigate(Url("/plain")), 0);
    ASSERT_TRUE(WaitFor([&] { return events_.Completed(browser_->Identity(), Url("/plain")); }));
    EXPECT_EQ(server_.RequestsTo("/plain").at(0).method, "GET");
}

TEST_F(QtBrowserTest, UnparsableAddressesAreInvalidArguments) {
    const std::unique_ptr<PostData> data = browser_->CreatePostData(0);
    for (const char* url : {"", "not a url", "http://[::1", "/relative/path"}) {
        EXPECT_EQ(browser_->Navigate(url), kE_INVALIDARG) << url;
        EXPECT_EQ(browser_->Navigate2(url, 0, std::nullopt, *data, ""), kE_INVALIDARG) << url;
        EXPECT_EQ(browser_->Navigate2(url, 0, "maintable", *data, ""), kE_INVALIDARG) << url;
    }
    EXPECT_EQ(browser_->CreatePostData(static_cast<std::size_t>(-1)), nullptr);
}

// The frame form's fields are the engine's own encoding of the decoded
// values: the bytes differ, the decoded values do not.
TEST_F(QtBrowserTest, FramePostValuesArriveEqualOnceDecoded) {
    LoadTop();
    const std::string body =
        "name=J%E9r%F4me+Dupont&text=a+b%26c%3Dd%25e%2Bf&raw=caf\xe9 au lait&multi=l1%0D%0Al2"
        "&tilde=~!*'()-._&empty=&flag&lone=a%0Ab";
    ASSERT_EQ(Post(Url("/target?f=1"), 0, "maintable", body,
                   "Content-Type: application/x-www-form-urlencoded\r\n"),
              0);
    ASSERT_TRUE(WaitFor([&] { return !server_.RequestsTo("/target?f=1").empty(); }));
    const HttpRequest request = server_.RequestsTo("/target?f=1").at(0);
    std::cout << "[ measured ] sent:     " << body
              << "\n[ measured ] received: " << request.body.toStdString() << std::endl;
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.Header("Content-Type"), "application/x-www-form-urlencoded");
    const std::vector<std::pair<QString, QString>> expected = {
        {"name", QString::fromUtf8("J\u00e9r\u00f4me Dupont")},
        {"text", "a b&c=d%e+f"},
        {"raw", QString::fromUtf8("caf\u00e9 au lait")},
        {"multi", "l1\r\nl2"},
        {"tilde", "~!*'()-._"},
        {"empty", ""},
        {"flag", ""},
        {"lone", "a\r\nb"},  // the form sends a lone LF as CR LF
    };
    EXPECT_EQ(DecodeReceived(request.body), expected);

    // The frame finished, not the top page, and under an identity of its own.
    ASSERT_TRUE(WaitFor([&] {
        const auto done = events_.Completions();
        return !done.empty() && done.back().url == Url("/target?f=1");
    }));
    const EventRecord frame_done = events_.Completions().back();
    EXPECT_NE(frame_done.frame, browser_->Identity());
    EXPECT_NE(frame_done.frame, 0u);
    std::shared_ptr<Document> document;
    ASSERT_EQ(browser_->GetDocument(document), 0);
    std::u16string url;
    document->GetUrl(url);
    EXPECT_EQ(QStringToAnsi(WideToQString(url)), Url("/top"));
}

TEST_F(QtBrowserTest, APostIntoAMissingFrameLoadsTheWholeWindow) {
    LoadTop();
    const std::string body = "a=1&b=caf\xe9";
    ASSERT_EQ(Post(Url("/target?nf=1"), 0, "nosuchframe", body,
                   "Content-Type: application/x-www-form-urlencoded\r\n"),
              0);
    ASSERT_TRUE(
        WaitFor([&] { return events_.Completed(browser_->Identity(), Url("/target?nf=1")); }));
    EXPECT_EQ(server_.RequestsTo("/target?nf=1").at(0).body, QByteArray::fromStdString(body));
}

TEST_F(QtBrowserTest, EventsNameTheTopPageAndItsFrameInOrderOutsideTheEngine) {
    events_.probe = [this] { return EngineAnswers(Page()); };
    LoadTop();
    const BrowserIdentity top = browser_->Identity();
    std::vector<std::string> seen;
    BrowserIdentity frame = 0;
    for (const EventRecord& e : events_.events) {
        EXPECT_TRUE(e.engine_answered) << e.url;
        const bool is_top = e.frame == top;
        if (!is_top) frame = e.frame;
        seen.push_back(
            std::string(e.kind == EventRecord::Kind::BeforeNavigate2 ? "before " : "complete ") +
            (is_top ? "top " : "frame ") + e.url);
    }
    const std::vector<std::string> expected = {
        "before top " + Url("/top"), "before frame " + Url("/frame"),
        "complete frame " + Url("/frame"), "complete top " + Url("/top")};
    EXPECT_EQ(seen, expected);
    EXPECT_NE(frame, 0u);

    // No events once the listener leaves.
    events_.probe = nullptr;
    browser_->UnadviseEvents();
    const std::size_t before = events_.events.size();
    ASSERT_EQ(browser_->Navigate(Url("/plain")), 0);
    ASSERT_TRUE(WaitFor([&] { return !server_.RequestsTo("/plain").empty(); }));
    QTest::qWait(500);
    EXPECT_EQ(events_.events.size(), before);
}

TEST_F(QtBrowserTest, TheLoadedDocumentShowsItsBody) {
    LoadTop();
    std::shared_ptr<Document> document;
    ASSERT_EQ(browser_->GetDocument(document), 0);
    ASSERT_TRUE(document);
    EXPECT_EQ(document->QueryHtmlDocument(), 0);
    std::shared_ptr<Element> body;
    ASSERT_EQ(document->GetBody(body), 0);
    ASSERT_TRUE(body);
    std::optional<std::u16string> value;
    EXPECT_EQ(body->GetAttribute(u"KXONLOAD", kAttributeAsString, value), 0);
    EXPECT_EQ(value, u"Welcome");
    EXPECT_EQ(body->GetAttribute(u"absent", kAttributeAsString, value), 0);
    EXPECT_FALSE(value);
    std::shared_ptr<ElementCollection> all;
    std::shared_ptr<Element> named;
    ASSERT_EQ(document->GetAll(all), 0);
    ASSERT_EQ(all->Item(u"kxp0", 0, named), 0);
    ASSERT_TRUE(named);
    std::u16string text;
    EXPECT_EQ(named->GetInnerText(text), 0);
    EXPECT_EQ(text, u"first=1\r\nsecond=2");
    EXPECT_EQ(all->Item(u"kxp1", 0, named), 0);
    EXPECT_FALSE(named);
}

TEST_F(QtBrowserTest, ClicksReachTheSinkOnALaterTurnWithTheClickedElement) {
    LoadTop();
    std::shared_ptr<Document> document;
    ASSERT_EQ(browser_->GetDocument(document), 0);
    RecordingSink sink(document, Page());
    sink.probe = true;
    std::uint32_t cookie = kNoConnection;
    ASSERT_EQ(document->AttachClickSink(sink, cookie), 0);
    EXPECT_NE(cookie, kNoConnection);

    struct Case {
        const char* element;
        const char16_t* command;
        bool found;
        const char16_t* text;
    };
    const Case cases[] = {
        {"cmd", u"PlayGame", true, u"game=chess\r\nroom=2\r\nseat=3\r\nname=J\u00e9r\u00f4me"},
        {"shown", u"Show", true, u"line1\r\nline2"},
        {"byname", u"ByName", true, u"t1\r\nt2"},
        {"missing", u"Missing", false, u""},
        // Hidden elements keep the line breaks of <br> and of blocks.
        {"tip", u"TIP", true, u"TIPNAME=news\r\nURL=http://tips.example/n?a=1"},
        {"blocks", u"Select", true, u"GAMENAME=Word Maze\r\nCLIENTID=12"},
        {"nested", u"Nested", true, u"A=1\r\nB=2"},
    };
    for (const Case& c : cases) {
        sink.clicks.clear();
        ClickById(QStringLiteral("document.getElementById('%1')").arg(c.element));
        ASSERT_TRUE(WaitFor([&] { return !sink.clicks.empty(); })) << c.element;
        const ClickRecord& click = sink.clicks.at(0);
        EXPECT_TRUE(click.engine_answered) << c.element;
        EXPECT_EQ(click.command, c.command) << c.element;
        EXPECT_EQ(click.command_upper, c.command) << c.element;
        EXPECT_EQ(click.params_found, c.found) << c.element;
        EXPECT_EQ(click.params_text, c.text) << c.element;
        EXPECT_EQ(QStringToAnsi(WideToQString(click.url)), Url("/top"));
    }
    EXPECT_EQ(sink.clicks.at(0).title, std::nullopt);

    // A click on no command element still is the document's click.
    sink.clicks.clear();
    ClickById("document.getElementById('plain')");
    ASSERT_EQ(sink.clicks.size(), 1u);
    EXPECT_FALSE(sink.clicks[0].command);
    // The page's own prompt() saw none of the reports.
    EXPECT_EQ(RunJs(Page(), "String(window.leaked)").toString(), "undefined");
    EXPECT_EQ(document->DetachClickSink(cookie), 0);
}

TEST_F(QtBrowserTest, FrameCommandsArriveThroughTheRelayAndOtherFrameClicksDoNot) {
    LoadTop();
    std::shared_ptr<Document> document;
    ASSERT_EQ(browser_->GetDocument(document), 0);
    RecordingSink sink(document, Page());
    std::uint32_t cookie = kNoConnection;
    ASSERT_EQ(document->AttachClickSink(sink, cookie), 0);
    const QString frame_doc = "document.querySelector('iframe').contentDocument";

    ClickById(frame_doc + ".getElementById('fplain')");
    EXPECT_TRUE(sink.clicks.empty());

    ClickById(frame_doc + ".getElementById('fcmd')");
    ASSERT_TRUE(WaitFor([&] { return !sink.clicks.empty(); }));
    EXPECT_EQ(sink.clicks.at(0).command, u"FrameCmd");
    EXPECT_EQ(sink.clicks.at(0).params_text, u"x=1\r\ny=2");
}

TEST_F(QtBrowserTest, ARealMouseClickOnAButtonLabelIsTheButtonsClick) {
    LoadTop();
    std::shared_ptr<Document> document;
    ASSERT_EQ(browser_->GetDocument(document), 0);
    RecordingSink sink(document, Page());
    std::uint32_t cookie = kNoConnection;
    ASSERT_EQ(document->AttachClickSink(sink, cookie), 0);

    const QVariantList box =
        RunJs(Page(),
              "var r = document.getElementById('label').getBoundingClientRect();"
              "[r.left + r.width / 2, r.top + r.height / 2]")
            .toList();
    ASSERT_EQ(box.size(), 2);
    const QPoint at(box[0].toInt(), box[1].toInt());
    QWidget* target = browser_->Widget()->focusProxy();
    ASSERT_NE(target, nullptr);
    QTest::mouseMove(target, at);
    QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, at);
    ASSERT_TRUE(WaitFor([&] { return !sink.clicks.empty(); }));
    EXPECT_EQ(sink.clicks.at(0).command, u"PlayGame");
    EXPECT_EQ(sink.clicks.at(0).title, u"Caf\u00e9");
}

TEST_F(QtBrowserTest, ClicksWithoutASinkAreHarmlessAndReachOnlyAttachedSinks) {
    LoadTop();
    std::shared_ptr<Document> document;
    ASSERT_EQ(browser_->GetDocument(document), 0);
    ClickById("document.getElementById('cmd')");

    RecordingSink first(document, Page());
    RecordingSink second(document, Page());
    std::uint32_t first_cookie = kNoConnection;
    std::uint32_t second_cookie = kNoConnection;
    ASSERT_EQ(document->AttachClickSink(first, first_cookie), 0);
    ASSERT_EQ(document->AttachClickSink(second, second_cookie), 0);
    EXPECT_NE(first_cookie, second_cookie);
    EXPECT_EQ(document->DetachClickSink(first_cookie), 0);
    EXPECT_NE(document->DetachClickSink(first_cookie), 0);
    ClickById("document.getElementById('cmd')");
    ASSERT_TRUE(WaitFor([&] { return !second.clicks.empty(); }));
    EXPECT_TRUE(first.clicks.empty());

    // A new page is a new document; the old one hears no more clicks.
    ASSERT_EQ(browser_->Navigate(Url("/top?again")), 0);
    ASSERT_TRUE(
        WaitFor([&] { return events_.Completed(browser_->Identity(), Url("/top?again")); }));
    second.clicks.clear();
    ClickById("document.getElementById('cmd')");
    EXPECT_TRUE(second.clicks.empty());
}

TEST_F(QtBrowserTest, TheClickResultDecidesACommandClicksDefaultActionOnly) {
    struct Case {
        const char* element;
        bool answer;
        bool loads_target;
    };
    // A click that names no command goes on whatever the sink says; a
    // command click goes on only when the sink lets it.
    const Case cases[] = {
        {"link", false, true},
        {"cmdlink", false, false},
        {"cmdlink", true, true},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(browser_->Navigate(Url("/links")), 0);
        ASSERT_TRUE(WaitFor([&] { return events_.Completed(browser_->Identity(), Url("/links")); }));
        events_.events.clear();
        std::shared_ptr<Document> document;
        ASSERT_EQ(browser_->GetDocument(document), 0);
        RecordingSink sink(document, Page());
        sink.answer = c.answer;
        std::uint32_t cookie = kNoConnection;
        ASSERT_EQ(document->AttachClickSink(sink, cookie), 0);

        ClickById(QStringLiteral("document.getElementById('%1')").arg(c.element));
        ASSERT_TRUE(WaitFor([&] { return !sink.clicks.empty(); })) << c.element;
        const bool loaded = WaitFor(
            [&] { return events_.Completed(browser_->Identity(), Url("/target")); }, 1500);
        EXPECT_EQ(loaded, c.loads_target) << c.element << " " << c.answer;
        if (!loaded) {
            // Done again for the default action, the click is not the page's twice.
            EXPECT_EQ(RunJs(Page(), "window.seen").toInt(), 1) << c.element;
        }
        EXPECT_EQ(sink.clicks.size(), 1u) << c.element;
        document->DetachClickSink(cookie);
    }
}

TEST_F(QtBrowserTest, APagesOwnPromptIsNoReport) {
    ASSERT_EQ(browser_->Navigate(Url("/forge")), 0);
    ASSERT_TRUE(WaitFor([&] { return events_.Completed(browser_->Identity(), Url("/forge")); }));
    std::shared_ptr<Document> document;
    ASSERT_EQ(browser_->GetDocument(document), 0);
    RecordingSink sink(document, Page());
    std::uint32_t cookie = kNoConnection;
    ASSERT_EQ(document->AttachClickSink(sink, cookie), 0);

    // Ordinary prompts get the engine's own dialog; the test dismisses it.
    int dialogs = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            ++dialogs;
            modal->close();
        }
    });
    closer.start(50);
    const std::size_t events_before = events_.events.size();
    ClickById("document.getElementById('forge')");
    ASSERT_TRUE(WaitFor([&] { return dialogs >= 2; }, 5000));
    QTest::qWait(200);
    // The real click report arrives once; the forged click and load do not.
    ASSERT_EQ(sink.clicks.size(), 1u);
    EXPECT_FALSE(sink.clicks[0].command);
    EXPECT_EQ(events_.events.size(), events_before);
    EXPECT_EQ(RunJs(Page(), "String(window.answer)").toString(), "null");
}

TEST_F(QtBrowserTest, NoHistoryNavigationsLeaveNothingToGoBackTo) {
    struct Case {
        std::int32_t flags;
        bool into_frame;
        bool can_go_back;
    };
    const Case cases[] = {
        {kNavNoHistory | kNavNoWriteToCache, false, false},
        {0, false, true},
        {kNavNoHistory | kNavNoWriteToCache, true, false},
        {0, true, true},
    };
    int n = 0;
    for (const Case& c : cases) {
        LoadTop();
        const std::string url = Url("/target?h=") + std::to_string(++n);
        ASSERT_EQ(Post(url, c.flags,
                       c.into_frame ? std::optional<std::string_view>("maintable") : std::nullopt,
                       "a=1", "Content-Type: application/x-www-form-urlencoded\r\n"),
                  0);
        ASSERT_TRUE(WaitFor([&] {
            const auto done = events_.Completions();
            return !done.empty() && done.back().url == url;
        }));
        QTest::qWait(100);
        EXPECT_EQ(Page()->history()->canGoBack(), c.can_go_back) << n;
    }
}

TEST_F(QtBrowserTest, TheViewRefusesDropsAndHasNoContextMenu) {
    EXPECT_EQ(browser_->PutRegisterAsDropTarget(DropTarget::Refused), 0);
    LoadTop();
    QWidget* view = browser_->Widget();
    EXPECT_FALSE(view->acceptDrops());
    ASSERT_NE(view->focusProxy(), nullptr);
    EXPECT_FALSE(view->focusProxy()->acceptDrops());
    EXPECT_EQ(view->contextMenuPolicy(), Qt::NoContextMenu);
}

}  // namespace
}  // namespace kx
