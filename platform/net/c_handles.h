#pragma once

// Internal to the net module: one owner per kind of C-library handle, so no code frees one by
// hand.

#include <curl/curl.h>
#include <glib-object.h>
#include <openssl/bio.h>
#include <openssl/crypto.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <cstdio>
#include <memory>

namespace platform::net {

namespace handles {
struct CurlEasyFree {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct CurlListFree {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct FileClose {
  void operator()(FILE* file) const { std::fclose(file); }
};
struct X509Free {
  void operator()(X509* certificate) const { X509_free(certificate); }
};
struct X509StoreFree {
  void operator()(X509_STORE* store) const { X509_STORE_free(store); }
};
struct X509StoreContextFree {
  void operator()(X509_STORE_CTX* context) const { X509_STORE_CTX_free(context); }
};
struct X509StackFree {
  // The stack only: its certificates have owners of their own.
  void operator()(STACK_OF(X509) * stack) const { sk_X509_free(stack); }
};
struct BIOFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
struct OpenSSLFree {
  void operator()(unsigned char* bytes) const { OPENSSL_free(bytes); }
};
struct SSLContextFree {
  void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};
struct SSLFree {
  void operator()(SSL* ssl) const { SSL_free(ssl); }
};
struct GObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
}  // namespace handles

using CurlEasy = std::unique_ptr<CURL, handles::CurlEasyFree>;
using CurlHeaderList = std::unique_ptr<curl_slist, handles::CurlListFree>;
using File = std::unique_ptr<FILE, handles::FileClose>;
using X509Ptr = std::unique_ptr<X509, handles::X509Free>;
using X509StorePtr = std::unique_ptr<X509_STORE, handles::X509StoreFree>;
using X509StoreContextPtr = std::unique_ptr<X509_STORE_CTX, handles::X509StoreContextFree>;
using X509StackPtr = std::unique_ptr<STACK_OF(X509), handles::X509StackFree>;
using BIOPtr = std::unique_ptr<BIO, handles::BIOFree>;
// Bytes OpenSSL allocated for us (the DER forms i2d_* write).
using OpenSSLBytes = std::unique_ptr<unsigned char, handles::OpenSSLFree>;
using SSLContextPtr = std::unique_ptr<SSL_CTX, handles::SSLContextFree>;
using SSLPtr = std::unique_ptr<SSL, handles::SSLFree>;
// An owned reference to a GObject (a "transfer full" answer).
template <typename T>
using GObjectPtr = std::unique_ptr<T, handles::GObjectUnref>;

// Closes the file and answers whether everything buffered reached it (a full disk shows here).
inline bool closeFile(File& file) { return file && std::fclose(file.release()) == 0; }

// Appends a line to a header list; answers false when libcurl could not.
inline bool appendHeader(CurlHeaderList& list, const char* line) {
  curl_slist* grown = curl_slist_append(list.get(), line);
  if (grown == nullptr) return false;
  list.release();
  list.reset(grown);
  return true;
}

}  // namespace platform::net
