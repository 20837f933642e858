#include "platform/linux/qt/qt_browser.h"

#include <QEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QRandomGenerator>
#include <QUrl>
#include <QWebEngineHistory>
#include <QWebEngineHttpRequest>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>
#include <QWidget>
#include <deque>
#include <functional>
#include <new>
#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/linux/qt/qt_browser_wire.h"
#include "platform/linux/qt/qt_document.h"
#include "platform/linux/qt/qt_event_wait.h"
#include "platform/linux/qt/qt_text.h"

namespace kx {

namespace {

// Runs at the creation of every document, frames included, in a world of its
// own: the page's scripts can neither read the token nor replace the
// functions used here. Each report is one synchronous prompt whose message is
// the token and whose default text is the report.
constexpr char kPageScript[] = R"JS((function () {
  'use strict';
  var token = '@TOKEN@';
  var ids = new Uint32Array(4);
  crypto.getRandomValues(ids);
  var doc = Array.prototype.join.call(ids, '-');
  var isTop = window === window.top;
  function attributesOf(el) {
    var out = [];
    if (el && el.attributes) {
      for (var i = 0; i < el.attributes.length; ++i) {
        out.push([el.attributes[i].name, el.attributes[i].value]);
      }
    }
    return out;
  }
  function rendered(e) {
    for (var x = e; x && x.nodeType === 1; x = x.parentElement) {
      if (getComputedStyle(x).display === 'none') return false;
    }
    return true;
  }
  // The browser's plain text of the element, line breaks included. The text
  // of an element that is not rendered has no line breaks at all (a <br> or a
  // block adds none), so such an element is read from a rendered copy that
  // nobody sees.
  function plainText(e) {
    if (typeof e.innerText !== 'string' || e.tagName === 'TEXTAREA') return e.textContent;
    if (rendered(e)) return e.innerText;
    var box = document.createElement('div');
    box.style.cssText = 'display:block!important;position:fixed!important;' +
        'left:-100000px!important;top:0!important;width:100000px!important;' +
        'visibility:visible!important;opacity:0!important;pointer-events:none!important';
    var copy = e.cloneNode(true);
    copy.style.setProperty('display', 'block', 'important');
    copy.removeAttribute('id');
    copy.removeAttribute('name');
    box.appendChild(copy);
    (document.documentElement || document).appendChild(box);
    try { return copy.innerText; } finally { box.parentNode.removeChild(box); }
  }
  function namedBy(el) {
    var key = el && el.getAttribute ? el.getAttribute('KXParams') : null;
    if (key === null) return null;
    var all = document.getElementsByTagName('*');
    for (var i = 0; i < all.length; ++i) {
      var e = all[i];
      if (e.getAttribute('name') === key || e.getAttribute('id') === key) {
        return {key: key, attributes: attributesOf(e), text: String(plainText(e))};
      }
    }
    return {key: key, attributes: null};
  }
  function report(data) {
    data.doc = doc;
    data.top = isTop;
    data.url = String(location.href);
    try { return prompt(token, JSON.stringify(data)); } catch (x) { return null; }
  }
  window.addEventListener('load', function () {
    var body = document.body;
    report({kind: 'load', element: body ? attributesOf(body) : null,
            named: body ? namedBy(body) : null});
  });
  if (!isTop) return;
  // A command click's default action waits for the console's answer, as the
  // click event's result would decide it; it is then done again, unseen by
  // the page's own handlers, which have already had the click.
  var held = {}, nextClick = 1, replaying = false;
  window.kxClickAnswered = function (id, number, goOn) {
    if (id !== doc || !held.hasOwnProperty(number)) return;
    var el = held[number];
    delete held[number];
    if (!goOn || !el.isConnected) return;
    replaying = true;
    try { el.click(); } finally { replaying = false; }
  };
  document.addEventListener('click', function (event) {
    if (replaying) { event.stopImmediatePropagation(); return; }
    var target = event.target;
    if (target && target.nodeType !== 1) target = target.parentElement;
    // The focused element the click went into, as the document's active
    // element would name it; a click on a button's label is the button's.
    var active = document.activeElement;
    var el = active && active !== document.body && target && active.contains(target)
        ? active : (target || document.body);
    var number = nextClick++;
    var answer = report({kind: 'click', click: number, element: el ? attributesOf(el) : null,
                         named: namedBy(el)});
    if (answer === '0') {
      event.preventDefault();
    } else if (answer === 'hold' && target) {
      event.preventDefault();
      held[number] = target;
    }
  }, true);
})();)JS";

// Makes and submits the form that posts into a named frame; answers false
// when the top document has no frame of that name.
constexpr char kFramePostScript[] = R"JS((function (a) {
  var frames = document.querySelectorAll('iframe, frame'), found = false;
  for (var i = 0; i < frames.length; ++i) if (frames[i].name === a.target) found = true;
  if (!found) return false;
  var form = document.createElement('form');
  form.setAttribute('method', 'post');
  form.setAttribute('action', a.url);
  form.setAttribute('target', a.target);
  form.setAttribute('accept-charset', 'windows-1252');
  form.setAttribute('enctype', 'application/x-www-form-urlencoded');
  form.style.display = 'none';
  a.fields.forEach(function (f) {
    var input = document.createElement('input');
    input.setAttribute('type', 'hidden');
    input.name = f[0];
    input.value = f[1];
    form.appendChild(input);
  });
  (document.body || document.documentElement).appendChild(form);
  // Called from the prototype: a field named "submit" shadows the method.
  HTMLFormElement.prototype.submit.call(form);
  form.parentNode.removeChild(form);
  return true;
})(@ARGS@))JS";

QString NewToken() {
    QString token;
    for (int i = 0; i < 4; ++i) {
        token += QStringLiteral("%1").arg(QRandomGenerator::system()->generate(), 8, 16,
                                          QLatin1Char('0'));
    }
    return token;
}

// The text as a script's string literal.
QString ScriptString(const QString& text) {
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

std::u16string UrlText(const QUrl& url) { return QStringToWide(url.toString(QUrl::FullyEncoded)); }

// The core's 8-bit address, or none when it names no absolute URL.
std::optional<QUrl> ParseUrl(std::string_view text) {
    const QUrl url(AnsiToQString(text));
    if (text.empty() || !url.isValid() || url.isRelative()) return std::nullopt;
    return url;
}

class QtPostData final : public PostData {
public:
    explicit QtPostData(std::size_t size) : bytes_(size) {}

    HResult AccessData(std::span<std::uint8_t>& bytes) override {
        bytes = bytes_;
        return kS_OK;
    }
    void UnaccessData() override {}

    QByteArray Bytes() const {
        return QByteArray(reinterpret_cast<const char*>(bytes_.data()),
                          static_cast<qsizetype>(bytes_.size()));
    }

private:
    std::vector<std::uint8_t> bytes_;
};

// The page's two synchronous questions to the embedder.
class BrowserPage final : public QWebEnginePage {
public:
    using PromptHandler =
        std::function<bool(const QString& message, const QString& text, QString& answer)>;
    using NavigationHandler = std::function<void(const QUrl& url, bool main_frame)>;

    BrowserPage(PromptHandler prompt, NavigationHandler navigation, QObject* parent)
        : QWebEnginePage(parent), prompt_(std::move(prompt)), navigation_(std::move(navigation)) {}

    // The browser is going away before its view.
    void Disconnect() {
        prompt_ = nullptr;
        navigation_ = nullptr;
    }

protected:
    bool javaScriptPrompt(const QUrl& origin, const QString& message, const QString& text,
                          QString* answer) override {
        QString reply;
        if (prompt_ && prompt_(message, text, reply)) {
            if (answer != nullptr) *answer = reply;
            return true;
        }
        return QWebEnginePage::javaScriptPrompt(origin, message, text, answer);
    }

    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool main_frame) override {
        // A server's redirect is the same navigation going on, not a new one.
        if (navigation_ && type != NavigationTypeRedirect) navigation_(url, main_frame);
        return true;
    }

private:
    PromptHandler prompt_;
    NavigationHandler navigation_;
};

// Keeps the drop state on widgets the view makes later, such as the render
// widget of a new renderer.
class DropGuard final : public QObject {
public:
    explicit DropGuard(std::function<void()> apply) : apply_(std::move(apply)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildPolished) {
            apply_();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> apply_;
};

}  // namespace

class QtBrowser::Impl {
public:
    Impl(QtBrowser& owner, QWidget* parent);
    ~Impl();
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    QWidget* View() { return view_; }
    BrowserIdentity TopIdentity() const { return reinterpret_cast<BrowserIdentity>(&owner_); }
    BrowserIdentity FrameIdentity() const { return reinterpret_cast<BrowserIdentity>(&frame_tag_); }

    HResult LoadWhole(const QUrl& url, const QByteArray& post, std::string_view headers);
    void PostIntoFrame(const QUrl& url, const QString& frame, const QByteArray& post,
                       std::string_view headers);
    void ClearHistoryOnNextLoad() { clear_history_ = true; }
    void SetDropTarget(DropTarget drop_target);
    std::shared_ptr<QtDocument> CurrentDocument() const { return document_; }
    void SetEvents(BrowserEvents* events) { events_ = events; }

private:
    bool OnPrompt(const QString& message, const QString& text, QString& answer);
    void OnNavigation(const QUrl& url, bool main_frame);
    void OnReport(PageReport report);
    void DeliverLoad(const PageReport& report);
    void DeliverClick(const PageReport& report);
    enum class ClickResult { GoOn, Cancel };
    void AnswerClick(const PageReport& click, ClickResult result);
    void ApplyDropTarget();
    void ClearHistoryIfAsked();

    // Work for the core, run one item per turn of the event loop in the order
    // it happened, never inside the web engine's callbacks: the core may run
    // modal loops there.
    void Post(std::function<void()> work);
    void DeliverOne();

    QtBrowser& owner_;
    const char frame_tag_ = 0;
    const QString token_ = NewToken();
    std::unique_ptr<QObject> context_ = std::make_unique<QObject>();
    std::unique_ptr<DropGuard> drop_guard_;
    QPointer<QWebEngineView> view_;
    QPointer<BrowserPage> page_;
    BrowserEvents* events_ = nullptr;
    std::shared_ptr<QtDocument> document_;
    std::deque<std::function<void()>> pending_;
    DropTarget drop_target_ = DropTarget::Accepted;
    bool clear_history_ = false;
};

QtBrowser::Impl::Impl(QtBrowser& owner, QWidget* parent) : owner_(owner) {
    view_ = new QWebEngineView(parent);
    view_->setContextMenuPolicy(Qt::NoContextMenu);
    page_ = new BrowserPage(
        [this](const QString& message, const QString& text, QString& answer) {
            return OnPrompt(message, text, answer);
        },
        [this](const QUrl& url, bool main_frame) { OnNavigation(url, main_frame); }, view_);
    view_->setPage(page_);

    QWebEngineScript script;
    script.setName(QStringLiteral("kx-page"));
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setRunsOnSubFrames(true);
    script.setWorldId(QWebEngineScript::ApplicationWorld);
    script.setSourceCode(QString::fromUtf8(kPageScript).replace(QStringLiteral("@TOKEN@"), token_));
    page_->scripts().insert(script);

    drop_guard_ = std::make_unique<DropGuard>([this] { ApplyDropTarget(); });
    view_->installEventFilter(drop_guard_.get());
    QObject::connect(page_, &QWebEnginePage::loadFinished, context_.get(), [this](bool) {
        ApplyDropTarget();
        ClearHistoryIfAsked();
    });
}

QtBrowser::Impl::~Impl() {
    if (page_) page_->Disconnect();
    if (view_) {
        view_->removeEventFilter(drop_guard_.get());
        delete view_.data();
    }
}

HResult QtBrowser::Impl::LoadWhole(const QUrl& url, const QByteArray& post,
                                   std::string_view headers) {
    if (!page_) return kE_FAIL;
    QWebEngineHttpRequest request(
        url, post.isEmpty() ? QWebEngineHttpRequest::Get : QWebEngineHttpRequest::Post);
    if (!post.isEmpty()) request.setPostData(post);
    for (const HeaderLine& line : SplitHeaderLines(headers))
        request.setHeader(line.name, line.value);
    page_->load(request);
    return kS_OK;
}

// The form's Content-Type is the browser's own, which is what the core's
// headers say anyway; other headers cannot go with a form.
//
// Measured (tests/qt/browser): the engine re-encodes the fields itself, so the
// bytes differ from the core's (spaces as "+", letters, digits and "*-._"
// bare, every other byte as upper-case %XX, a field without "=" sent as
// "name="), while each name and value decodes to the same Windows-1252 text
// the core posted, except that a lone CR or LF in it arrives as CR LF.
void QtBrowser::Impl::PostIntoFrame(const QUrl& url, const QString& frame, const QByteArray& post,
                                    std::string_view headers) {
    if (!page_) return;
    QJsonArray fields;
    for (const FormField& field : DecodeFormFields(
             std::string_view(post.constData(), static_cast<std::size_t>(post.size())))) {
        fields.append(QJsonArray{field.name, field.value});
    }
    const QJsonObject arguments{{QStringLiteral("url"), url.toString(QUrl::FullyEncoded)},
                                {QStringLiteral("target"), frame},
                                {QStringLiteral("fields"), fields}};
    const QString code =
        QString::fromUtf8(kFramePostScript)
            .replace(QStringLiteral("@ARGS@"),
                     QString::fromUtf8(QJsonDocument(arguments).toJson(QJsonDocument::Compact)));
    // Without such a frame the whole window loads the post, as a browser
    // would rather than drop it.
    const std::string header_text(headers);
    QPointer<QObject> alive = context_.get();
    page_->runJavaScript(code, QWebEngineScript::ApplicationWorld,
                         [this, alive, url, post, header_text](const QVariant& posted) {
                             if (alive && !posted.toBool()) LoadWhole(url, post, header_text);
                         });
}

void QtBrowser::Impl::SetDropTarget(DropTarget drop_target) {
    drop_target_ = drop_target;
    ApplyDropTarget();
}

void QtBrowser::Impl::ApplyDropTarget() {
    if (!view_) return;
    const bool accept = drop_target_ == DropTarget::Accepted;
    view_->setAcceptDrops(accept);
    if (QWidget* proxy = view_->focusProxy()) proxy->setAcceptDrops(accept);
    for (QWidget* child : view_->findChildren<QWidget*>()) child->setAcceptDrops(accept);
}

void QtBrowser::Impl::ClearHistoryIfAsked() {
    if (!clear_history_ || !page_) return;
    clear_history_ = false;
    page_->history()->clear();
}

bool QtBrowser::Impl::OnPrompt(const QString& message, const QString& text, QString& answer) {
    if (message != token_) return false;
    if (std::optional<PageReport> report = ParsePageReport(text)) {
        answer = QString();
        if (report->kind == PageReport::Kind::Click) {
            // The core answers on a later turn, so a command click's default
            // action is held until then. Any other click goes on at once: the
            // core would let it, and a held link would wait for nothing.
            const bool command = report->frame == PageReport::Frame::Top &&
                                 report->click_number != 0 && report->element &&
                                 NamesCommand(*report->element);
            if (!command) report->click_number = 0;
            answer = command ? QStringLiteral("hold") : QStringLiteral("1");
        }
        OnReport(std::move(*report));
    }
    return true;
}

void QtBrowser::Impl::OnNavigation(const QUrl& url, bool main_frame) {
    const BrowserIdentity frame = main_frame ? TopIdentity() : FrameIdentity();
    Post([this, frame, address = UrlText(url)] {
        if (events_ != nullptr) events_->BeforeNavigate2(frame, address);
    });
}

void QtBrowser::Impl::OnReport(PageReport report) {
    if (report.kind == PageReport::Kind::Load) {
        Post([this, report = std::move(report)] { DeliverLoad(report); });
    } else if (report.frame == PageReport::Frame::Top && !QtInputHeld()) {
        // A click during a painting wait can only be the page's own script.
        Post([this, report = std::move(report)] { DeliverClick(report); });
    }
}

void QtBrowser::Impl::DeliverLoad(const PageReport& report) {
    BrowserIdentity frame = FrameIdentity();
    if (report.frame == PageReport::Frame::Top) {
        document_ = std::make_shared<QtDocument>(report);
        frame = TopIdentity();
    }
    ClearHistoryIfAsked();
    if (events_ != nullptr) events_->DocumentComplete(frame, report.url);
}

void QtBrowser::Impl::DeliverClick(const PageReport& report) {
    // Held here: the core may let go of the document while it handles the click.
    const std::shared_ptr<QtDocument> document = document_;
    // A click before its document's load report has no document to go to
    // yet; nobody cancels it then.
    if (!document || document->Id() != report.document_id) {
        AnswerClick(report, ClickResult::GoOn);
        return;
    }
    document->TakeClick(report);
    AnswerClick(report, document->FireClick() ? ClickResult::GoOn : ClickResult::Cancel);
}

void QtBrowser::Impl::AnswerClick(const PageReport& click, ClickResult result) {
    if (click.click_number == 0 || !page_) return;
    // Runs in the script's own world; a document other than the clicked one
    // ignores it.
    const QString code =
        QStringLiteral("window.kxClickAnswered && window.kxClickAnswered(%1, %2, %3)")
            .arg(ScriptString(click.document_id))
            .arg(click.click_number)
            .arg(result == ClickResult::GoOn ? QStringLiteral("true") : QStringLiteral("false"));
    page_->runJavaScript(code, QWebEngineScript::ApplicationWorld);
}

void QtBrowser::Impl::Post(std::function<void()> work) {
    pending_.push_back(std::move(work));
    QMetaObject::invokeMethod(
        context_.get(), [this] { DeliverOne(); }, Qt::QueuedConnection);
}

void QtBrowser::Impl::DeliverOne() {
    if (pending_.empty()) return;
    // The page's events keep their order and reach the core after the wait.
    if (QtInputHeld()) {
        AfterQtInputHold(context_.get(), [this] { DeliverOne(); });
        return;
    }
    const std::function<void()> work = std::move(pending_.front());
    pending_.pop_front();
    work();
}

QtBrowser::QtBrowser(QWidget* parent) : impl_(std::make_unique<Impl>(*this, parent)) {}

QtBrowser::~QtBrowser() = default;

QWidget* QtBrowser::Widget() { return impl_->View(); }

BrowserIdentity QtBrowser::Identity() { return impl_->TopIdentity(); }

std::unique_ptr<PostData> QtBrowser::CreatePostData(std::size_t size) {
    try {
        return std::make_unique<QtPostData>(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    } catch (const std::length_error&) {
        return nullptr;
    }
}

HResult QtBrowser::Navigate2(std::string_view url, std::int32_t flags,
                             std::optional<std::string_view> target_frame, PostData& post_data,
                             std::string_view headers) {
    const std::optional<QUrl> address = ParseUrl(url);
    const auto* bytes = dynamic_cast<const QtPostData*>(&post_data);
    if (!address || bytes == nullptr) return kE_INVALIDARG;
    // The engine keeps no entry out of its history; the entries go once the
    // page has loaded, which leaves the player nothing to go back to.
    if ((flags & kNavNoHistory) != 0) impl_->ClearHistoryOnNextLoad();
    if (target_frame && !target_frame->empty()) {
        impl_->PostIntoFrame(*address, AnsiToQString(*target_frame), bytes->Bytes(), headers);
        return kS_OK;
    }
    return impl_->LoadWhole(*address, bytes->Bytes(), headers);
}

HResult QtBrowser::Navigate(std::string_view url) {
    const std::optional<QUrl> address = ParseUrl(url);
    if (!address) return kE_INVALIDARG;
    return impl_->LoadWhole(*address, {}, {});
}

HResult QtBrowser::PutRegisterAsDropTarget(DropTarget drop_target) {
    impl_->SetDropTarget(drop_target);
    return kS_OK;
}

HResult QtBrowser::GetDocument(std::shared_ptr<Document>& document) {
    document = impl_->CurrentDocument();
    return kS_OK;
}

HResult QtBrowser::AdviseEvents(BrowserEvents& events) {
    impl_->SetEvents(&events);
    return kS_OK;
}

void QtBrowser::UnadviseEvents() { impl_->SetEvents(nullptr); }

}  // namespace kx
