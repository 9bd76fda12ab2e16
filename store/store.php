<?php
// A department's products, a page at a time (productsPerPage from the shop's settings).

declare(strict_types=1);

define('KIOSK_SHOP', true);
require __DIR__ . '/variables.php';
require __DIR__ . '/storebanner.php';
require __DIR__ . '/displayStore.php';

if (basketOn()) {
    startSession();
}
$department = findDepartment($_GET['dept'] ?? null);
if ($department === null) {
    errorPage(404, 'Department not found', 'We could not find that department. It may have been renamed or removed.');
}

$products = array_values(departmentProducts($department));
$perPage = storeSettings()['productsPerPage'];
$pages = max(1, (int) ceil(count($products) / $perPage));
$requested = $_GET['page'] ?? '1';
$page = is_string($requested) && preg_match('/^\d{1,4}$/', $requested) === 1 ? (int) $requested : 1;
$page = min(max($page, 1), $pages);
$shown = array_slice($products, ($page - 1) * $perPage, $perPage);

$label = departmentLabel($department);
pageStart($pages > 1 ? $label . ' (page ' . $page . ')' : $label, $department);
echo '<div class="page-head"><h1 class="page-title">' . h($label) . '</h1>';
if ($products) {
    $firstShown = ($page - 1) * $perPage + 1;
    $lastShown = $firstShown + count($shown) - 1;
    echo '<p class="range">Showing ' . $firstShown . '–' . $lastShown . ' of ' . count($products)
        . (count($products) === 1 ? ' product' : ' products') . '</p>';
}
echo '</div>';

if (!$products) {
    echo '<p class="empty-note">There are no products in this department yet.</p>';
} else {
    echo '<div class="product-grid">';
    foreach ($shown as $product) {
        renderProductCard($department, $product, $page);
    }
    echo '</div>';
    renderPager($department, $page, $pages);
}
pageEnd();
