<?php
// How products are shown: the product card of a department page, the "add to basket" form,
// and the page controls.

declare(strict_types=1);

if (!defined('KIOSK_SHOP')) {
    header('Location: index.php', true, 303);
    exit;
}

require_once __DIR__ . '/departments.php';

function canBuy(array $product): bool
{
    return basketOn() && $product['amount'] !== null;
}

function renderPriceBlock(array $product): void
{
    if ($product['price'] === '' && $product['unit'] === '') {
        return;
    }
    echo '<p class="price">';
    if ($product['price'] !== '') {
        $class = $product['amount'] === null ? 'amount amount-text' : 'amount';
        echo '<span class="' . $class . '">' . h(displayPrice($product['price'])) . '</span>';
    }
    if ($product['unit'] !== '') {
        echo ' <span class="unit">' . h($product['unit']) . '</span>';
    }
    echo '</p>';
    $details = array_filter([$product['pricingDetail1'], $product['pricingDetail2']], static fn ($t) => $t !== '');
    if ($details) {
        echo '<p class="pricing-details">';
        echo implode('<br>', array_map('h', $details));
        echo '</p>';
    }
}

/** The "add to basket" form, or a note that the product cannot be ordered here. */
function renderBuyForm(string $department, array $product, string $from, int $page = 1): void
{
    if (!basketOn()) {
        return;
    }
    if (!canBuy($product)) {
        echo '<p class="no-order">Please contact us to order this product.</p>';
        return;
    }
    $note = takeProductNote(basketKey($department, $product['index']));
    if ($note !== null) {
        $error = $note['kind'] === 'error';
        echo '<p class="product-note' . ($error ? ' product-note-error' : '') . '" role="' . ($error ? 'alert' : 'status')
            . '">' . h((string) $note['text']) . ($error ? '' : ' <a href="basket.php">View basket</a>') . '</p>';
    }
    $id = 'qty-' . $from . '-' . $product['index'];
    echo '<form class="buy-form" method="post" action="basket.php">';
    echo tokenField();
    echo '<input type="hidden" name="action" value="add">';
    echo '<input type="hidden" name="dept" value="' . h($department) . '">';
    echo '<input type="hidden" name="item" value="' . $product['index'] . '">';
    echo '<input type="hidden" name="from" value="' . h($from) . '">';
    echo '<input type="hidden" name="page" value="' . $page . '">';
    echo '<label class="qty-label" for="' . h($id) . '">Quantity<span class="visually-hidden"> of '
        . h($product['title']) . '</span></label>';
    echo '<input class="qty" type="number" id="' . h($id) . '" name="qty" value="1" min="1" max="'
        . KIOSK_MAX_QUANTITY . '" step="1" inputmode="numeric" required>';
    echo '<button type="submit" class="button button-buy"><img src="gfx/add.bmp" alt="" width="20" height="20">'
        . '<span>Add to basket<span class="visually-hidden">: ' . h($product['title']) . '</span></span></button>';
    echo '</form>';
}

function renderProductCard(string $department, array $product, int $page): void
{
    $index = $product['index'];
    $picture = hasPicture($department, $index);
    $alt = $picture ? $product['title'] : 'No picture available';
    echo '<article class="product" id="product-' . $index . '">';
    echo '<div class="product-picture"><img src="' . h(pictureUrl($department, $index)) . '" alt="' . h($alt)
        . '" width="600" height="400" loading="lazy"></div>';
    echo '<div class="product-body">';
    echo '<h2 class="product-title"><a href="' . h(productUrl($department, $index)) . '">' . h($product['title'])
        . '</a></h2>';
    foreach (['description1', 'description2', 'description3'] as $field) {
        if ($product[$field] !== '') {
            echo '<p class="description">' . h($product[$field]) . '</p>';
        }
    }
    echo '<div class="product-foot">';
    renderPriceBlock($product);
    renderBuyForm($department, $product, 'list', $page);
    echo '</div></div></article>';
}

/** First / previous / next / last, greyed out at the ends. */
function renderPager(string $department, int $page, int $pages): void
{
    if ($pages <= 1) {
        return;
    }
    $controls = [
        ['first', 'First page', 1, $page > 1],
        ['previous', 'Previous page', $page - 1, $page > 1],
        ['next', 'Next page', $page + 1, $page < $pages],
        ['last', 'Last page', $pages, $page < $pages],
    ];
    echo '<nav class="pager" aria-label="Pages"><ul>';
    foreach (array_slice($controls, 0, 2) as $control) {
        renderPagerControl($department, ...$control);
    }
    echo '<li class="pager-status" aria-current="page">Page ' . $page . ' of ' . $pages . '</li>';
    foreach (array_slice($controls, 2) as $control) {
        renderPagerControl($department, ...$control);
    }
    echo '</ul></nav>';
}

function renderPagerControl(string $department, string $name, string $label, int $target, bool $enabled): void
{
    $words = ['first' => 'First', 'previous' => 'Previous', 'next' => 'Next', 'last' => 'Last'][$name];
    if ($enabled) {
        echo '<li><a class="pager-' . $name . '" href="' . h(departmentUrl($department, $target)) . '" aria-label="'
            . h($label) . '"><img src="gfx/' . $name . '.gif" alt="" width="28" height="28"><span>' . $words
            . '</span></a></li>';
    } else {
        echo '<li><span class="pager-' . $name . ' pager-off" aria-disabled="true"><img src="gfx/no' . $name
            . '.gif" alt="" width="28" height="28"><span>' . $words . '</span></span></li>';
    }
}

// ---------------------------------------------------------------------------------------------
// The basket. The session keeps only which product (department and slot), its title when it was
// added, and how many; titles and prices always come from the server's productdetails.nif.

function basketKey(string $department, int $index): string
{
    return $department . "\0" . $index;
}

/** A quantity typed by the customer: a whole number from $min to the shop's limit, or null. */
function parseQuantity(string $typed, int $min = 1): ?int
{
    $typed = trim($typed);
    if (preg_match('/^\d{1,4}$/', $typed) !== 1) {
        return null;
    }
    $qty = (int) $typed;
    return $qty >= $min && $qty <= KIOSK_MAX_QUANTITY ? $qty : null;
}

/**
 * The basket's lines checked against the products on the server. A line whose product has gone,
 * changed its title or can no longer be bought is taken out, with a note for the customer.
 */
function basketLines(?array &$notices = null): array
{
    startSession();
    $notices = [];
    $lines = [];
    foreach ($_SESSION['basket'] as $key => $entry) {
        $department = is_array($entry) ? findDepartment($entry['dept'] ?? null) : null;
        $product = $department !== null ? findProduct($department, $entry['item'] ?? null) : null;
        if ($product === null || $product['title'] !== ($entry['title'] ?? null) || !canBuy($product)) {
            unset($_SESSION['basket'][$key]);
            $title = is_array($entry) && is_string($entry['title'] ?? null) ? $entry['title'] : 'A product';
            $notices[] = $title . ' is no longer available and has been taken out of your basket.';
            continue;
        }
        $qty = min(max((int) ($entry['qty'] ?? 1), 1), KIOSK_MAX_QUANTITY);
        $lines[] = ['key' => (string) $key, 'dept' => $department, 'product' => $product, 'qty' => $qty,
            'cents' => $product['amount']['cents'] * $qty];
    }
    return $lines;
}

/** The basket's total in hundredths, and the decimal and grouping marks to write it with. */
function basketTotal(array $lines): array
{
    $cents = 0;
    foreach ($lines as $line) {
        $cents += $line['cents'];
    }
    $marks = $lines ? $lines[0]['product']['amount'] : ['decimal' => '.', 'group' => ','];
    return ['cents' => $cents, 'decimal' => $marks['decimal'], 'group' => $marks['group']];
}

function lineMoney(array $line): string
{
    $amount = $line['product']['amount'];
    return formatMoney($line['cents'], $amount['decimal'], $amount['group']);
}

function totalMoney(array $lines): string
{
    $total = basketTotal($lines);
    return formatMoney($total['cents'], $total['decimal'], $total['group']);
}

/** A fingerprint of what the customer saw on the review page: products, quantities and prices. */
function basketFingerprint(array $lines): string
{
    $parts = [];
    foreach ($lines as $line) {
        $parts[] = [$line['dept'], $line['product']['index'], $line['product']['title'], $line['qty'], $line['cents']];
    }
    return hash('sha256', json_encode($parts));
}

/** The basket as a table; with $editable the quantities can be changed and lines removed. */
function renderBasketTable(array $lines, bool $editable): void
{
    echo '<table class="basket-table"><caption class="visually-hidden">Products in your basket</caption>';
    echo '<thead><tr><th scope="col">Product</th><th scope="col" class="num">Price</th>'
        . '<th scope="col" class="num">Quantity</th><th scope="col" class="num">Total</th>';
    if ($editable) {
        echo '<th scope="col"><span class="visually-hidden">Remove</span></th>';
    }
    echo '</tr></thead><tbody>';
    foreach ($lines as $n => $line) {
        $product = $line['product'];
        $dept = $line['dept'];
        echo '<tr class="basket-line">';
        echo '<th scope="row" class="basket-product"><img src="' . h(pictureUrl($dept, $product['index']))
            . '" alt="" width="96" height="64"><span><a href="' . h(productUrl($dept, $product['index'])) . '">'
            . h($product['title']) . '</a><span class="basket-dept">' . h(departmentLabel($dept)) . '</span></span></th>';
        echo '<td class="num" data-label="Price">' . h(displayPrice($product['price']))
            . ($product['unit'] !== '' ? ' <span class="unit">' . h($product['unit']) . '</span>' : '') . '</td>';
        echo '<td class="num" data-label="Quantity">';
        if ($editable) {
            $id = 'basket-qty-' . $n;
            echo '<form class="qty-form" method="post" action="basket.php">' . tokenField()
                . '<input type="hidden" name="action" value="update">'
                . '<input type="hidden" name="dept" value="' . h($dept) . '">'
                . '<input type="hidden" name="item" value="' . $product['index'] . '">'
                . '<label class="visually-hidden" for="' . $id . '">Quantity of ' . h($product['title']) . '</label>'
                . '<input class="qty" type="number" id="' . $id . '" name="qty" value="' . $line['qty']
                . '" min="0" max="' . KIOSK_MAX_QUANTITY . '" step="1" inputmode="numeric" required>'
                . '<button type="submit" class="button button-small">Update<span class="visually-hidden"> '
                . h($product['title']) . '</span></button></form>';
        } else {
            echo $line['qty'];
        }
        echo '</td><td class="num line-total" data-label="Total">' . h(lineMoney($line)) . '</td>';
        if ($editable) {
            echo '<td class="remove-cell"><form method="post" action="basket.php">' . tokenField()
                . '<input type="hidden" name="action" value="remove">'
                . '<input type="hidden" name="dept" value="' . h($dept) . '">'
                . '<input type="hidden" name="item" value="' . $product['index'] . '">'
                . '<button type="submit" class="button button-quiet"><img src="gfx/cancel.bmp" alt="" width="16" height="16">'
                . '<span>Remove<span class="visually-hidden"> ' . h($product['title']) . '</span></span></button></form></td>';
        }
        echo '</tr>';
    }
    echo '</tbody><tfoot><tr><th scope="row" colspan="3">Total</th><td class="num basket-total">'
        . h(totalMoney($lines)) . '</td>' . ($editable ? '<td></td>' : '') . '</tr></tfoot></table>';
}
