// Reads every NAME.scx in the folder with scm-extractor, which follows the
// game's own rules for map archives, and compares the scenario data with
// NAME.expected.chk. Exits 1 on any difference or error.
'use strict'

const fs = require('fs')
const path = require('path')
const createExtractor = require('scm-extractor')

const folder = process.argv[2]
const maps = fs.readdirSync(folder).filter(name => name.endsWith('.scx'))
if (maps.length === 0) {
  console.error('no maps in ' + folder)
  process.exit(1)
}

function extract(map) {
  return new Promise((resolve, reject) => {
    const chunks = []
    fs.createReadStream(map)
      .pipe(createExtractor())
      .on('error', reject)
      .on('data', chunk => chunks.push(chunk))
      .on('end', () => resolve(Buffer.concat(chunks)))
  })
}

async function main() {
  let failed = 0
  for (const name of maps) {
    const expected = fs.readFileSync(path.join(folder, name.replace(/\.scx$/, '.expected.chk')))
    try {
      const chk = await extract(path.join(folder, name))
      if (chk.equals(expected)) {
        console.log(name + ': ' + chk.length + ' bytes, as expected')
      } else {
        failed++
        console.error(name + ': scm-extractor reads ' + chk.length + ' bytes, not the ' +
                      expected.length + ' expected, or other bytes')
      }
    } catch (e) {
      failed++
      console.error(name + ': scm-extractor refuses it: ' + e)
    }
  }
  process.exit(failed === 0 ? 0 : 1)
}

main()
