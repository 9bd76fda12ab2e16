<?php
// One product on a page of its own, with a larger picture.

declare(strict_types=1);

define('KIOSK_SHOP', true);
require __DIR__ . '/variables.php';
require __DIR__ . '/storebanner.php';
require __DIR__ . '/displayStore.php';

if (basketOn()) {
    startSession();
}
$department = findDepartment($_GET['dept'] ?? null);
$product = $department !== null ? findProduct($department, $_GET['item'] ?? null) : null;
if ($product === null) {
    errorPage(404, 'Product not found', 'We could not find that product. It may have been sold out or removed.');
}

// The page of the department list that shows this product, for the way back.
$position = array_search($product['index'], array_keys(departmentProducts($department)), true);
$backPage = intdiv((int) $position, storeSettings()['productsPerPage']) + 1;
$index = $product['index'];

pageStart($product['title'], $department);
echo '<p class="back-link"><a href="' . h(departmentUrl($department, $backPage, $index)) . '">← Back to '
    . h(departmentLabel($department)) . '</a></p>';
echo '<article class="product-detail" id="product-' . $index . '">';
$alt = hasPicture($department, $index) ? $product['title'] : 'No picture available';
echo '<div class="product-picture"><img src="' . h(pictureUrl($department, $index)) . '" alt="' . h($alt)
    . '" width="600" height="400"></div>';
echo '<div class="product-body"><h1 class="page-title">' . h($product['title']) . '</h1>';
foreach (['description1', 'description2', 'description3'] as $field) {
    if ($product[$field] !== '') {
        echo '<p class="description">' . h($product[$field]) . '</p>';
    }
}
echo '<div class="product-foot">';
renderPriceBlock($product);
renderBuyForm($department, $product, 'details', $backPage);
echo '</div></div></article>';
pageEnd();
