<?php
// The basket: shows what the customer has chosen, and takes the "add", "update", "remove" and
// "empty" forms (POST with the session's token; each answers with a redirect back).

declare(strict_types=1);

define('KIOSK_SHOP', true);
require __DIR__ . '/variables.php';
require __DIR__ . '/storebanner.php';
require __DIR__ . '/displayStore.php';

if (!basketOn()) {
    errorPage(404, 'No online orders', 'This shop does not take orders online. Please contact us to order.');
}
startSession();

if (($_SERVER['REQUEST_METHOD'] ?? 'GET') !== 'GET' && ($_SERVER['REQUEST_METHOD'] ?? '') !== 'HEAD') {
    requirePostWithToken();
    $action = postedText('action');

    if ($action === 'empty') {
        $_SESSION['basket'] = [];
        flash('ok', 'Your basket is now empty.');
        redirectTo('basket.php');
    }

    $department = findDepartment(postedText('dept'));
    $product = $department !== null ? findProduct($department, postedText('item')) : null;
    if ($product === null) {
        errorPage(404, 'Product not found', 'We could not find that product. It may have been sold out or removed.');
    }
    $key = basketKey($department, $product['index']);

    if ($action === 'add') {
        if (!canBuy($product)) {
            errorPage(400, 'This product cannot be ordered online', 'Please contact us to order it.');
        }
        $page = parseQuantity(postedText('page')) ?? 1;
        $back = postedText('from') === 'details' ? productUrl($department, $product['index']) . '#product-'
            . $product['index'] : departmentUrl($department, $page, $product['index']);
        // The answer goes back to the product, so its message is shown there rather than at the top.
        $qty = parseQuantity(postedText('qty'));
        if ($qty === null) {
            productNote($key, 'error', 'Please choose a quantity from 1 to ' . KIOSK_MAX_QUANTITY . '.');
            redirectTo($back);
        }
        if (!isset($_SESSION['basket'][$key]) && count($_SESSION['basket']) >= KIOSK_MAX_BASKET_LINES) {
            productNote($key, 'error', 'Your basket is full. Please place this order first.');
            redirectTo($back);
        }
        $had = isset($_SESSION['basket'][$key]) ? (int) $_SESSION['basket'][$key]['qty'] : 0;
        $total = min($had + $qty, KIOSK_MAX_QUANTITY);
        $_SESSION['basket'][$key] = ['dept' => $department, 'item' => $product['index'], 'title' => $product['title'],
            'qty' => $total];
        productNote($key, 'ok', $total < $had + $qty
            ? 'You now have the most we take in one order (' . KIOSK_MAX_QUANTITY . ') of ' . $product['title'] . ' in your basket.'
            : 'Added ' . $qty . ' × ' . $product['title'] . ' to your basket.');
        redirectTo($back);
    }

    if ($action === 'update' || $action === 'remove') {
        if (!isset($_SESSION['basket'][$key])) {
            redirectTo('basket.php');
        }
        $qty = $action === 'remove' ? 0 : parseQuantity(postedText('qty'), 0);
        if ($qty === null) {
            flash('error', 'Please enter a quantity from 0 to ' . KIOSK_MAX_QUANTITY . ' for ' . $product['title'] . '.');
        } elseif ($qty === 0) {
            unset($_SESSION['basket'][$key]);
            flash('ok', 'Removed ' . $product['title'] . ' from your basket.');
        } else {
            $_SESSION['basket'][$key]['qty'] = $qty;
            flash('ok', 'Updated ' . $product['title'] . ' to ' . $qty . '.');
        }
        redirectTo('basket.php');
    }

    errorPage(400, 'Please use the buttons on the page', 'That request was not understood.');
}

header('Cache-Control: no-store');
$lines = basketLines($notices);
foreach ($notices as $notice) {
    flash('error', $notice);
}
pageStart('Your basket');
echo '<h1 class="page-title">Your basket</h1>';
if (!$lines) {
    echo '<section class="empty-basket"><img src="gfx/shopping-trolley.jpg" alt="" width="240" height="160">';
    echo '<p>Your basket is empty.</p><p><a class="button" href="index.php">Start shopping</a></p></section>';
} else {
    echo '<ol class="steps" aria-label="Order steps"><li aria-current="step">Basket</li><li>Your details</li>'
        . '<li>Check and confirm</li></ol>';
    renderBasketTable($lines, true);
    echo '<div class="basket-actions">';
    echo '<form method="post" action="basket.php">' . tokenField() . '<input type="hidden" name="action" value="empty">'
        . '<button type="submit" class="button button-quiet">Empty basket</button></form>';
    echo '<a class="button button-secondary" href="index.php">Continue shopping</a>';
    echo '<a class="button button-go" href="confirmOrder.php"><span>Checkout</span>'
        . '<img src="gfx/proceed.bmp" alt="" width="20" height="20"></a>';
    echo '</div>';
}
pageEnd();
