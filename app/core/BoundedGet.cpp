#include "app/core/BoundedGet.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <utility>

namespace {

bool isLoopback(const QUrl& url) {
  const QString host = url.host();
  if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) return true;
  const QHostAddress address(host);
  return !address.isNull() && address.isLoopback();
}

}  // namespace

bool BoundedGet::isAllowed(const QUrl& url) {
  if (!url.isValid() || url.isRelative() || url.host().isEmpty()) return false;
  const QString scheme = url.scheme().toLower();
  return scheme == QLatin1String("https") || (scheme == QLatin1String("http") && isLoopback(url));
}

BoundedGet* BoundedGet::start(const QUrl& url, Options options, QObject* parent, Done done) {
  if (!isAllowed(url)) return nullptr;
  auto* get = new BoundedGet(std::move(options), std::move(done), parent);
  get->begin(url);
  return get;
}

BoundedGet::BoundedGet(Options options, Done done, QObject* parent)
    : QObject(parent), options_(std::move(options)), done_(std::move(done)) {}

void BoundedGet::begin(const QUrl& url) {
  manager_ = new QNetworkAccessManager(this);
  // A loopback address is this machine; a proxy from the environment must not see it.
  if (isLoopback(url)) manager_->setProxy(QNetworkProxy::NoProxy);
  QNetworkRequest request(url);
  request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                       QNetworkRequest::UserVerifiedRedirectPolicy);
  request.setMaximumRedirectsAllowed(5);
  reply_ = manager_->get(request);
  connect(reply_, &QNetworkReply::redirected, this, [this](const QUrl& target) {
    if (isAllowed(target))
      emit reply_->redirectAllowed();
    else
      fail(tr("The server redirected to %1, which is not an HTTPS address.")
               .arg(target.toDisplayString()));
  });
  connect(reply_, &QNetworkReply::readyRead, this, &BoundedGet::readSome);
  connect(reply_, &QNetworkReply::finished, this, &BoundedGet::finish);
  deadline_.setSingleShot(true);
  connect(&deadline_, &QTimer::timeout, this, [this] {
    fail(tr("No complete answer came within %1 seconds.").arg(options_.timeoutMs / 1000.0));
  });
  deadline_.start(options_.timeoutMs);
  if (auto* app = QCoreApplication::instance())
    connect(app, &QCoreApplication::aboutToQuit, this, &BoundedGet::abort);
}

void BoundedGet::readSome() {
  if (!reply_) return;
  body_ += reply_->readAll();
  if (body_.size() > options_.maxBodyBytes)
    fail(tr("The answer is larger than %1 bytes.").arg(options_.maxBodyBytes));
}

void BoundedGet::finish() {
  if (!reply_) return;
  Result result;
  result.status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  body_ += reply_->readAll();
  if (body_.size() > options_.maxBodyBytes) {
    fail(tr("The answer is larger than %1 bytes.").arg(options_.maxBodyBytes));
    return;
  }
  if (reply_->error() != QNetworkReply::NoError)
    result.error = reply_->errorString();
  else if (result.status < 200 || result.status > 299)
    result.error = tr("The server answered with status %1.").arg(result.status);
  result.ok = result.error.isEmpty();
  result.body = std::exchange(body_, {});
  complete(result);
}

void BoundedGet::fail(const QString& error) {
  Result result;
  result.error = error;
  result.body = std::exchange(body_, {});
  complete(result);
}

void BoundedGet::abort() {
  done_ = nullptr;
  stopReply();
  // Deleting the manager ends its transfer thread now, which matters at quit: once the event
  // loop has stopped, a deferred deletion never runs.
  delete manager_;
  manager_ = nullptr;
  deleteLater();
}

void BoundedGet::complete(const Result& result) {
  stopReply();
  // Called once: signals of a reply being torn down find no callback.
  if (Done done = std::exchange(done_, nullptr)) done(result);
  // This may run inside one of the reply's own signals, so the reply and its manager go with
  // this object in the next turn of the loop rather than now.
  deleteLater();
}

void BoundedGet::stopReply() {
  deadline_.stop();
  if (reply_) {
    reply_->disconnect(this);
    reply_->abort();
  }
}
