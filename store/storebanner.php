<?php
// The frame of every page: head, the shop's name, the banner (when the owner switched it on),
// the basket link (when the basket is on), the department bar and the footer.

declare(strict_types=1);

if (!defined('KIOSK_SHOP')) {
    header('Location: index.php', true, 303);
    exit;
}

require_once __DIR__ . '/departments.php';

function basketItemCount(): int
{
    if (!basketOn() || session_status() !== PHP_SESSION_ACTIVE) {
        return 0;
    }
    $count = 0;
    foreach ($_SESSION['basket'] ?? [] as $line) {
        $count += is_array($line) ? (int) ($line['qty'] ?? 0) : 0;
    }
    return $count;
}

function telephoneHref(string $telephone): string
{
    $digits = preg_replace('/[^\d+]/', '', $telephone);
    return $digits !== '' ? 'tel:' . $digits : '';
}

function pageStart(string $title, ?string $department = null): void
{
    $settings = storeSettings();
    $shop = $settings['storeName'];
    $css = 'kioskSmith.css?v=' . (@filemtime(__DIR__ . '/kioskSmith.css') ?: 1);
    $fullTitle = $title === '' || $title === $shop ? $shop : $title . ' – ' . $shop;
    echo "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
    echo '<meta name="viewport" content="width=device-width, initial-scale=1">' . "\n";
    echo '<title>' . h($fullTitle) . "</title>\n";
    echo '<link rel="stylesheet" href="' . h($css) . "\">\n</head>\n<body>\n";
    echo '<a class="skip-link" href="#main">Skip to content</a>' . "\n";

    // With the banner on, the header carries the shop's e-mail and telephone on the sky picture.
    $banner = $settings['banner'];
    echo '<header class="site-header' . ($banner ? ' banner' : '') . '"><div class="wrap header-row">';
    echo '<div class="brand"><a class="shop-name" href="index.php">' . h($shop) . '</a>';
    if ($banner) {
        echo '<ul class="banner-contact">';
        if ($settings['emailText'] !== '') {
            echo '<li><span class="label">E-mail</span> ';
            echo $settings['email'] !== ''
                ? '<a href="mailto:' . h($settings['email']) . '">' . h($settings['email']) . '</a>'
                : h($settings['emailText']);
            echo '</li>';
        }
        if ($settings['telephone'] !== '') {
            $href = telephoneHref($settings['telephone']);
            echo '<li><span class="label">Telephone</span> ';
            echo $href !== '' ? '<a href="' . h($href) . '">' . h($settings['telephone']) . '</a>' : h($settings['telephone']);
            echo '</li>';
        }
        echo '</ul>';
    }
    echo '</div>';
    if (basketOn()) {
        $count = basketItemCount();
        $label = $count === 1 ? '1 item' : $count . ' items';
        echo '<a class="basket-link" href="basket.php"><img src="gfx/shopping-cart-icon-medium.jpg" alt="" width="32" height="32">'
            . '<span class="basket-word">Basket</span> <span class="basket-count" data-count="' . $count . '">'
            . h($label) . '</span></a>';
    }
    echo '</div></header>' . "\n";

    renderDepartmentNav($department);
    echo "\n<main id=\"main\" class=\"wrap\" tabindex=\"-1\">\n";
    foreach (takeFlash() as $flash) {
        $kind = ($flash['kind'] ?? '') === 'error' ? 'error' : 'ok';
        $role = $kind === 'error' ? 'alert' : 'status';
        echo '<p class="flash flash-' . $kind . '" role="' . $role . '">' . h((string) ($flash['text'] ?? '')) . '</p>';
    }
}

function pageEnd(): void
{
    // A product message that found no product on this page is stale by the next one.
    if (session_status() === PHP_SESSION_ACTIVE) {
        unset($_SESSION['productNote']);
    }
    $settings = storeSettings();
    echo "\n</main>\n<footer class=\"site-footer\"><div class=\"wrap\">";
    echo '<img class="footer-line" src="gfx/store-line-seperator.jpg" alt="" width="960" height="6">';
    echo '<p>&copy; ' . date('Y') . ' ' . h($settings['storeName']);
    if ($settings['domain'] !== '') {
        echo ' · ' . h($settings['domain']);
    }
    echo '</p></div></footer>' . "\n</body>\n</html>\n";
}
