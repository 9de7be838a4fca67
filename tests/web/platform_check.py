#!/usr/bin/env python3
"""The platform's tables (tests/platform) in headless Chromium against the web back end, in a
browser of their own: web_test.py's section 5, and scripts/plant-faults.py --web.

   platform_check.py WEB_BIN [CHECKS]   (the site; the check page's folder, by default ../checks)
Prints the rows that fail; exit code 0 when every row holds.
"""
import functools, http.server, os, sys, tempfile, threading, time
from selenium import webdriver
from selenium.webdriver.chrome.service import Service

SITE = sys.argv[1]
CHECKS = sys.argv[2] if len(sys.argv) > 2 else os.path.join(SITE, '..', 'checks')


class Site(http.server.SimpleHTTPRequestHandler):
    log_message = lambda *args: None

    def translate_path(self, path):
        if path.startswith('/checks/'):
            return os.path.join(CHECKS, path[len('/checks/'):].split('?')[0])
        return super().translate_path(path)


server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), functools.partial(Site, directory=SITE))
threading.Thread(target=server.serve_forever, daemon=True).start()
options = webdriver.ChromeOptions()
options.binary_location = '/usr/bin/chromium'
profile = tempfile.TemporaryDirectory()
for argument in ['--headless', '--no-sandbox', '--disable-background-networking',
                 '--no-first-run', '--user-data-dir=' + profile.name]:
    options.add_argument(argument)
browser = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)
try:
    browser.get(f'http://127.0.0.1:{server.server_port}/checks/platform_check.html')
    end = time.monotonic() + 120
    while browser.execute_script('return document.body.dataset.state') != 'ended':
        if time.monotonic() > end:
            sys.exit('the check page did not finish')
        time.sleep(0.1)
    failures, results = browser.execute_script(
        'return [document.body.dataset.failures, document.body.dataset.results]')
finally:
    browser.quit()
    server.shutdown()
rows = (results or '').splitlines()
print('\n'.join(row for row in rows if not row.startswith('ok')))
print(f'{len(rows)} rows, {failures} failed')
sys.exit(0 if failures == '0' and rows else 1)
