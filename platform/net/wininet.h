// The Internet functions of Windows as far as an HTTP download uses them, over libcurl:
// a session (InternetOpen) holds connections to servers (InternetConnect), each of which
// opens requests (HttpOpenRequest) that are sent (HttpSendRequest), queried
// (HttpQueryInfo) and read (InternetReadFile). Every call is synchronous on the calling
// thread; failures return NULL or FALSE and leave the error in GetLastError, in the
// numbering below.
//
// What the functions guarantee:
// - A handle is a number that is never reused. Closing a handle also closes the handles
//   made from it (a session's connections, a connection's requests).
// - A session keeps its connections to servers alive between requests (keep-alive, also
//   for HTTP/1.0 requests, which say "Connection: Keep-Alive").
// - InternetConnect does no network work; connecting, sending and reading the reply's
//   header happen in HttpSendRequest, which returns once the final reply's header is in.
//   Redirects (301, 302, 303, 307, 308) are followed unless the request was opened with
//   INTERNET_FLAG_NO_AUTO_REDIRECT, up to ten of them and never from https to http.
//   A 401 reply that offers Basic authentication is answered once with the user name
//   and password of the connection, when it has a user name.
// - The body streams: InternetReadFile fills the whole buffer unless the body ends
//   (or breaks) first, and reports the end with TRUE and zero bytes. At most a few
//   megabytes of the body wait in memory, whatever its size. A body that ends before
//   its Content-Length, breaks or stalls fails the read.
// - Time-outs (INTERNET_OPTION_*_TIMEOUT, milliseconds, 60000 by default): the connect
//   time-out bounds connecting to the server; the receive time-out bounds each wait for
//   data from it. A low-speed limit (INTERNET_OPTION_LOW_SPEED_*, none by default) ends
//   a request whose transfer stays below a rate. Options set on a handle are inherited
//   by the handles made from it afterwards.
// - InternetGetLastResponseInfo tells why the thread's last failed call failed: its
//   error, and in words what went wrong on the network or with the server's reply.
// - Proxies: INTERNET_OPEN_TYPE_PRECONFIG takes the system's settings, which here are the
//   environment variables http_proxy, https_proxy (through an HTTP CONNECT tunnel),
//   all_proxy and no_proxy; INTERNET_OPEN_TYPE_DIRECT uses none.
// - HTTPS (INTERNET_FLAG_SECURE): TLS 1.2 or later; the server's certificate chain is
//   verified against the system's trust store (or, as with OpenSSL's tools, the bundle
//   or folder named by SSL_CERT_FILE and SSL_CERT_DIR); its host name and its dates are
//   verified too, unless INTERNET_FLAG_IGNORE_CERT_CN_INVALID or
//   INTERNET_FLAG_IGNORE_CERT_DATE_INVALID says otherwise.
// - No cache exists: INTERNET_FLAG_RELOAD and INTERNET_FLAG_NO_CACHE_WRITE change nothing.
// - Bodies arrive as the server sends them (no content decoding is asked for); chunked
//   bodies are decoded. Bytes of a path that are not valid in a URL are percent-encoded.
#pragma once

#include "platform/win/wintypes.h"

VX_DECLARE_HANDLE(HINTERNET);
using INTERNET_PORT = WORD;

constexpr INTERNET_PORT INTERNET_INVALID_PORT_NUMBER = 0;  // the scheme's default port
constexpr INTERNET_PORT INTERNET_DEFAULT_HTTP_PORT = 80;
constexpr INTERNET_PORT INTERNET_DEFAULT_HTTPS_PORT = 443;

// InternetOpen access types.
constexpr DWORD INTERNET_OPEN_TYPE_PRECONFIG = 0;
constexpr DWORD INTERNET_OPEN_TYPE_DIRECT = 1;
// InternetConnect services.
constexpr DWORD INTERNET_SERVICE_HTTP = 3;

// HttpOpenRequest flags.
constexpr DWORD INTERNET_FLAG_RELOAD = 0x80000000;
constexpr DWORD INTERNET_FLAG_NO_CACHE_WRITE = 0x04000000;
constexpr DWORD INTERNET_FLAG_SECURE = 0x00800000;
constexpr DWORD INTERNET_FLAG_KEEP_CONNECTION = 0x00400000;
constexpr DWORD INTERNET_FLAG_NO_AUTO_REDIRECT = 0x00200000;
constexpr DWORD INTERNET_FLAG_IGNORE_CERT_DATE_INVALID = 0x00002000;
constexpr DWORD INTERNET_FLAG_IGNORE_CERT_CN_INVALID = 0x00001000;

// InternetSetOption options; each takes a DWORD of milliseconds.
constexpr DWORD INTERNET_OPTION_CONNECT_TIMEOUT = 2;
constexpr DWORD INTERNET_OPTION_RECEIVE_TIMEOUT = 6;
// This layer's own options, beyond the Windows set; each takes a DWORD. A request whose
// transfer moves fewer than LOW_SPEED_LIMIT bytes a second over LOW_SPEED_TIME seconds
// fails with ERROR_INTERNET_TIMEOUT; 0 in either sets no such limit.
constexpr DWORD INTERNET_OPTION_LOW_SPEED_LIMIT = 0x10001;
constexpr DWORD INTERNET_OPTION_LOW_SPEED_TIME = 0x10002;

// HttpQueryInfo levels and modifiers. Without a number flag the value is decimal text.
constexpr DWORD HTTP_QUERY_CONTENT_LENGTH = 5;
constexpr DWORD HTTP_QUERY_STATUS_CODE = 19;
constexpr DWORD HTTP_QUERY_FLAG_NUMBER = 0x20000000;    // a DWORD
constexpr DWORD HTTP_QUERY_FLAG_NUMBER64 = 0x08000000;  // a ULONGLONG

// Errors.
constexpr DWORD ERROR_INTERNET_TIMEOUT = 12002;
constexpr DWORD ERROR_INTERNET_INTERNAL_ERROR = 12004;
constexpr DWORD ERROR_INTERNET_INVALID_URL = 12005;
constexpr DWORD ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
constexpr DWORD ERROR_INTERNET_INVALID_OPTION = 12009;
constexpr DWORD ERROR_INTERNET_BAD_OPTION_LENGTH = 12010;
constexpr DWORD ERROR_INTERNET_INCORRECT_HANDLE_TYPE = 12018;
constexpr DWORD ERROR_INTERNET_INCORRECT_HANDLE_STATE = 12019;
constexpr DWORD ERROR_INTERNET_CANNOT_CONNECT = 12029;
constexpr DWORD ERROR_INTERNET_CONNECTION_ABORTED = 12030;
constexpr DWORD ERROR_INTERNET_CONNECTION_RESET = 12031;
constexpr DWORD ERROR_INTERNET_SEC_CERT_DATE_INVALID = 12037;
constexpr DWORD ERROR_INTERNET_SEC_CERT_CN_INVALID = 12038;
constexpr DWORD ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR = 12040;
constexpr DWORD ERROR_INTERNET_INVALID_CA = 12045;
constexpr DWORD ERROR_HTTP_HEADER_NOT_FOUND = 12150;
constexpr DWORD ERROR_HTTP_INVALID_SERVER_RESPONSE = 12152;
constexpr DWORD ERROR_HTTP_REDIRECT_FAILED = 12156;
constexpr DWORD ERROR_INTERNET_SECURITY_CHANNEL_ERROR = 12157;

// A session. lpszAgent is the User-Agent of its requests (a CR or LF in it is refused
// with ERROR_INVALID_PARAMETER); the proxy names are not used.
HINTERNET InternetOpen(LPCSTR lpszAgent, DWORD dwAccessType, LPCSTR lpszProxy,
                       LPCSTR lpszProxyBypass, DWORD dwFlags);

// A connection of a session to an HTTP server (INTERNET_SERVICE_HTTP). A server name
// that is empty gives ERROR_INVALID_PARAMETER, one with characters no host name has
// ERROR_INTERNET_INVALID_URL. Port 0 is the default port of each request's scheme.
HINTERNET InternetConnect(HINTERNET hInternet, LPCSTR lpszServerName, INTERNET_PORT nServerPort,
                          LPCSTR lpszUserName, LPCSTR lpszPassword, DWORD dwService,
                          DWORD dwFlags, DWORD_PTR dwContext);

// A request on a connection. lpszVerb is GET (when null), POST, HEAD or another token;
// lpszVersion "HTTP/1.0" or "HTTP/1.1" (when null or empty); lplpszAcceptTypes a
// null-terminated list sent as the Accept header (none when null).
HINTERNET HttpOpenRequest(HINTERNET hConnect, LPCSTR lpszVerb, LPCSTR lpszObjectName,
                          LPCSTR lpszVersion, LPCSTR lpszReferrer, LPCSTR* lplpszAcceptTypes,
                          DWORD dwFlags, DWORD_PTR dwContext);

// Sends the request with the extra header lines (CR LF separated; dwHeadersLength
// (DWORD)-1 for a zero-terminated text) and the optional body, and reads the reply's
// header. Sending again starts the request over.
BOOL HttpSendRequest(HINTERNET hRequest, LPCSTR lpszHeaders, DWORD dwHeadersLength,
                     LPVOID lpOptional, DWORD dwOptionalLength);

// HTTP_QUERY_STATUS_CODE or HTTP_QUERY_CONTENT_LENGTH of the final reply, with one of the
// number flags or as text. A reply without a Content-Length gives
// ERROR_HTTP_HEADER_NOT_FOUND; a buffer too small ERROR_INSUFFICIENT_BUFFER with the
// length needed in *lpdwBufferLength; a length beyond a DWORD with HTTP_QUERY_FLAG_NUMBER
// ERROR_ARITHMETIC_OVERFLOW.
BOOL HttpQueryInfo(HINTERNET hRequest, DWORD dwInfoLevel, LPVOID lpBuffer, LPDWORD lpdwBufferLength,
                   LPDWORD lpdwIndex);

// Reads the next bytes of the body (see above).
BOOL InternetReadFile(HINTERNET hFile, LPVOID lpBuffer, DWORD dwNumberOfBytesToRead,
                      LPDWORD lpdwNumberOfBytesRead);

BOOL InternetSetOption(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer, DWORD dwBufferLength);

// The error of this thread's last failed call (0 when none has failed) and, when the
// failure came from the network or the server's reply, its cause as text (else an
// empty text), zero-terminated in lpszBuffer. A buffer too small gives
// ERROR_INSUFFICIENT_BUFFER with the length needed in *lpdwBufferLength; otherwise
// *lpdwBufferLength is the text's length.
BOOL InternetGetLastResponseInfo(LPDWORD lpdwError, LPSTR lpszBuffer, LPDWORD lpdwBufferLength);

BOOL InternetCloseHandle(HINTERNET hInternet);
