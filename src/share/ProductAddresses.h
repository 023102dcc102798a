#pragma once
// The product's web addresses: the page the recommendation mail links to and the
// square picture it shows. The installed package's metadata reads the page from
// here too, so this is the one place to change them. The domain is a placeholder
// under .example until the product has a site of its own.

inline constexpr const char* productPageAddress = "http://spoolora.example/";
inline constexpr const char* productImageAddress = "http://spoolora.example/Spoolora_square.jpg";
