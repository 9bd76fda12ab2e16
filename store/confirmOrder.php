<?php
// Checkout: the customer's name and address, then a last look at the order before it is placed
// (sendMailOrder.php places it), then the confirmation.
//   confirmOrder.php              name and address form (POST back here to go on)
//   confirmOrder.php?step=review  the order to check, with the "Place order" button
//   confirmOrder.php?step=done    the confirmation of the order just placed

declare(strict_types=1);

define('KIOSK_SHOP', true);
require __DIR__ . '/variables.php';
require __DIR__ . '/storebanner.php';
require __DIR__ . '/displayStore.php';

if (!basketOn()) {
    errorPage(404, 'No online orders', 'This shop does not take orders online. Please contact us to order.');
}
startSession();
header('Cache-Control: no-store');

function renderSteps(int $current): void
{
    $steps = ['Basket', 'Your details', 'Check and confirm', 'Done'];
    echo '<ol class="steps" aria-label="Order steps">';
    foreach ($steps as $i => $step) {
        $label = h($step);
        if ($i === 0 && $current > 0 && $current < 3) {
            $label = '<a href="basket.php">' . $label . '</a>';
        }
        echo '<li' . ($i === $current ? ' aria-current="step"' : '') . ($i < $current ? ' class="done"' : '') . '>'
            . $label . '</li>';
    }
    echo '</ol>';
}

function renderAddressBlock(array $customer): void
{
    echo '<dl class="customer">';
    echo '<dt>Name</dt><dd class="customer-name">' . h($customer['name']) . '</dd>';
    echo '<dt>Address</dt><dd class="customer-address">' . nl2br(h($customer['address']), false) . '</dd>';
    echo '<dt>Telephone or e-mail</dt><dd class="customer-contact">' . h($customer['contact']) . '</dd>';
    echo '</dl>';
}

function renderDetailsForm(array $values, array $errors): void
{
    pageStart('Your details');
    echo '<h1 class="page-title">Your details</h1>';
    renderSteps(1);
    if ($errors) {
        echo '<div class="flash flash-error" role="alert"><p>Please check the form:</p><ul>';
        foreach ($errors as $field => $text) {
            echo '<li><a href="#' . h($field) . '">' . h($text) . '</a></li>';
        }
        echo '</ul></div>';
    }
    $invalid = static fn (string $field): string => isset($errors[$field])
        ? ' aria-invalid="true" aria-describedby="' . $field . '-error"' : '';
    $error = static fn (string $field): string => isset($errors[$field])
        ? '<p class="field-error" id="' . $field . '-error">' . h($errors[$field]) . '</p>' : '';

    echo '<form class="details-form panel" method="post" action="confirmOrder.php">' . tokenField();
    echo '<input type="hidden" name="action" value="details">';
    echo '<div class="field"><label for="name">Your name</label>' . $error('name')
        . '<input type="text" id="name" name="name" autocomplete="name" maxlength="' . KIOSK_MAX_NAME
        . '" required value="' . h($values['name']) . '"' . $invalid('name') . '></div>';
    echo '<div class="field"><label for="address">Delivery address</label>' . $error('address')
        . '<textarea id="address" name="address" autocomplete="street-address" rows="5" maxlength="'
        . KIOSK_MAX_ADDRESS . '" required' . $invalid('address') . '>' . h($values['address']) . '</textarea></div>';
    echo '<div class="field"><label for="contact">Telephone or e-mail</label>'
        . '<p class="hint" id="contact-hint">So that we can reach you about payment and delivery.</p>' . $error('contact')
        . '<input type="text" id="contact" name="contact" autocomplete="tel" maxlength="' . KIOSK_MAX_CONTACT
        . '" required aria-describedby="contact-hint' . (isset($errors['contact']) ? ' contact-error' : '') . '"'
        . (isset($errors['contact']) ? ' aria-invalid="true"' : '') . ' value="' . h($values['contact']) . '"></div>';
    // Left empty by people, who never see it; simple robots fill in every field they find.
    echo '<div class="trap" aria-hidden="true"><label for="website">Leave this field empty</label>'
        . '<input type="text" id="website" name="website" tabindex="-1" autocomplete="off" value=""></div>';
    echo '<div class="form-actions"><a class="button button-secondary" href="basket.php">Back to basket</a>'
        . '<button type="submit" class="button button-go"><span>Check your order</span>'
        . '<img src="gfx/proceed.bmp" alt="" width="20" height="20"></button></div>';
    echo '</form>';
    pageEnd();
    exit;
}

$step = is_string($_GET['step'] ?? null) ? $_GET['step'] : '';

if (($_SERVER['REQUEST_METHOD'] ?? 'GET') === 'POST') {
    requirePostWithToken();
    if (postedText('website') !== '') {
        errorPage(400, 'Your order could not be accepted', 'Please contact us to order.');
    }
    if (!basketLines()) {
        redirectTo('basket.php');
    }
    $customer = [
        'name' => orderText(postedText('name'), KIOSK_MAX_NAME),
        'address' => orderAddress(postedText('address')),
        'contact' => orderText(postedText('contact'), KIOSK_MAX_CONTACT),
    ];
    $errors = [];
    if ($customer['name'] === '') {
        $errors['name'] = 'Please enter your name.';
    }
    if ($customer['address'] === '') {
        $errors['address'] = 'Please enter the address we should deliver to.';
    }
    if ($customer['contact'] === '') {
        $errors['contact'] = 'Please enter a telephone number or an e-mail address, so that we can reach you.';
    }
    if ($errors) {
        http_response_code(422);
        renderDetailsForm($customer, $errors);
    }
    $_SESSION['customer'] = $customer;
    redirectTo('confirmOrder.php?step=review');
}

if ($step === 'done') {
    $order = $_SESSION['lastOrder'] ?? null;
    if (!is_array($order)) {
        redirectTo('basket.php');
    }
    pageStart('Thank you for your order');
    echo '<section class="confirmation" aria-labelledby="thanks">';
    echo '<img class="notice-art" src="gfx/add-order.jpg" alt="" width="160" height="160">';
    echo '<h1 class="page-title" id="thanks">Thank you, ' . h($order['name']) . '!</h1>';
    echo '<p class="lead">Your order has been placed. Please keep a note of its number.</p>';
    echo '<p class="order-number">Order number <strong>' . h($order['number']) . '</strong>'
        . '<span class="order-date">' . h($order['date']) . '</span></p>';
    echo '</section>';
    renderSteps(3);
    echo '<table class="basket-table"><caption class="visually-hidden">Products you ordered</caption>'
        . '<thead><tr><th scope="col">Product</th><th scope="col" class="num">Price</th>'
        . '<th scope="col" class="num">Quantity</th><th scope="col" class="num">Total</th></tr></thead><tbody>';
    foreach ($order['lines'] as $line) {
        echo '<tr class="basket-line"><th scope="row" class="basket-product"><span>' . h($line['title'])
            . '<span class="basket-dept">' . h($line['dept']) . '</span></span></th>'
            . '<td class="num" data-label="Price">' . h($line['price']) . '</td>'
            . '<td class="num" data-label="Quantity">' . (int) $line['qty'] . '</td>'
            . '<td class="num line-total" data-label="Total">' . h($line['total']) . '</td></tr>';
    }
    echo '</tbody><tfoot><tr><th scope="row" colspan="3">Total</th><td class="num basket-total">' . h($order['total'])
        . '</td></tr></tfoot></table>';
    echo '<h2>We will deliver to</h2>';
    renderAddressBlock($order);
    echo '<p>Nothing has been charged online: we will be in touch about payment and delivery.</p>';
    echo '<p><a class="button" href="index.php">Continue shopping</a></p>';
    pageEnd();
    exit;
}

$lines = basketLines($notices);
foreach ($notices as $notice) {
    flash('error', $notice);
}
if (!$lines) {
    redirectTo('basket.php');
}
$customer = $_SESSION['customer'] ?? null;

if ($step === 'review' && is_array($customer)) {
    if (!isset($_SESSION['orderNonce'])) {
        $_SESSION['orderNonce'] = bin2hex(random_bytes(16));
    }
    pageStart('Check your order');
    echo '<h1 class="page-title">Check your order</h1>';
    renderSteps(2);
    renderBasketTable($lines, false);
    echo '<div class="review-grid"><section class="panel"><h2>Deliver to</h2>';
    renderAddressBlock($customer);
    echo '<p><a href="confirmOrder.php">Change your details</a> · <a href="basket.php">Change your basket</a></p>';
    echo '</section><section class="panel place-order"><h2>Place your order</h2>';
    echo '<p>Nothing is charged online: we will be in touch about payment and delivery.</p>';
    echo '<form method="post" action="sendMailOrder.php">' . tokenField()
        . '<input type="hidden" name="order" value="' . h($_SESSION['orderNonce']) . '">'
        . '<input type="hidden" name="check" value="' . h(basketFingerprint($lines)) . '">'
        . '<button type="submit" class="button button-go button-big"><img src="gfx/add-order.jpg" alt="" width="28" height="28">'
        . '<span>Place order</span></button></form>';
    echo '</section></div>';
    pageEnd();
    exit;
}

$values = is_array($customer) ? $customer : ['name' => '', 'address' => '', 'contact' => ''];
renderDetailsForm($values, []);
