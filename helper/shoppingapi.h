#ifndef SHOPPINGAPI_H
#define SHOPPINGAPI_H

// eBay Shopping API calls of the program (official time and item data).
namespace ShoppingApi {
// The program's application id, sent with every call.
constexpr const char* AppId = "Zuvadede-5b21-4c8e-93d0-7a1f4e62b8c9";
} // namespace ShoppingApi

#endif // SHOPPINGAPI_H
